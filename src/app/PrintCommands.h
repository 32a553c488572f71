#pragma once

#include <memory>

#include "ui/AppServices.h"

class QPrinter;
class QWidget;

namespace quorvel {

// File > Print Setup and the view's Print, Print Direct and Print Preview.
// They share one printer, so what Print Setup chooses holds for the
// printing commands until the program ends.
class PrintCommands {
  public:
    explicit PrintCommands(AppServices& services);
    ~PrintCommands();

    void OnFilePrintSetup(QWidget* owner);
    void OnFilePrint(QWidget* owner);        // asks for the printer first
    void OnFilePrintDirect(QWidget* owner);  // on the printer as it is set up
    void OnFilePrintPreview(QWidget* owner);

    static constexpr const char* kPrintFailed = "Unable to print the document";

  private:
    // Made at first use: finding the default printer can take a moment.
    QPrinter& Printer();
    void PrintView();

    AppServices& m_services;
    std::unique_ptr<QPrinter> m_printer;
};

}  // namespace quorvel
