#pragma once
// A network place that a servers.json document can come from. This launcher configures none; a source
// that is added later only has to deliver the document body, and fetchServerDirectory does the rest.

#include <string>

namespace launcher {

class DirectoryDocumentSource {
public:
    virtual ~DirectoryDocumentSource() = default;

    // Fetches the document, sending accessCodeHeader (a whole header line, or empty) with the request.
    // False with a non-empty error text when nothing usable arrived.
    virtual bool fetch(const std::wstring& accessCodeHeader, std::string& body, std::string& error) = 0;
};

// Tried in this order; a null source has no address.
struct DirectorySources {
    DirectoryDocumentSource* primary = nullptr;
    DirectoryDocumentSource* secondary = nullptr;
};

} // namespace launcher
