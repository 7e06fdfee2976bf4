#pragma once
// A file created where nothing was, written, flushed to the disk and closed. One that is not finished
// goes again, so a failure leaves nothing at the name.

#include <cstdint>
#include <string>
#include <string_view>

namespace launcher {

class NewFile {
public:
    // Creates the file; fails when any entry is at the name, a link included: one planted there, even one
    // that leads nowhere, is never followed.
    explicit NewFile(std::string path);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool isOpen() const;
    bool write(std::string_view bytes);
    // Flushes the file to the disk and closes it; when either fails, the file is removed.
    bool finish();

private:
    void discard();

    std::string path_;
    std::intptr_t handle_; // HANDLE on Windows, a descriptor elsewhere
};

} // namespace launcher
