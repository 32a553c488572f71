// The card library's platform-neutral part. The adapters themselves are
// platform files; this keeps the library non-empty on every platform.
namespace quorvel {
int CardLibraryVersion() {
    return 1;
}
}  // namespace quorvel
