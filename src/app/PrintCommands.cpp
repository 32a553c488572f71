#include "app/PrintCommands.h"

#include <QPrinter>

#include "core/MessageSink.h"
#include "ui/CQuorvelView.h"

namespace quorvel {

PrintCommands::PrintCommands(AppServices& services) : m_services(services) {}

PrintCommands::~PrintCommands() = default;

QPrinter& PrintCommands::Printer() {
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>();
    }
    return *m_printer;
}

void PrintCommands::OnFilePrintSetup(QWidget* owner) {
    m_services.SetUpPrinter(Printer(), owner);
}

void PrintCommands::OnFilePrint(QWidget* owner) {
    if (m_services.ChoosePrinter(Printer(), owner)) {
        PrintView();
    }
}

void PrintCommands::OnFilePrintDirect(QWidget*) {
    PrintView();
}

void PrintCommands::OnFilePrintPreview(QWidget* owner) {
    m_services.PreviewPrint(Printer(), owner,
                            [](QPrinter* printer) { CQuorvelView::PrintOn(printer); });
}

void PrintCommands::PrintView() {
    if (!CQuorvelView::PrintOn(&Printer())) {
        ShowMessage(kPrintFailed, "Error", mb::kIconExclamation);
    }
}

}  // namespace quorvel
