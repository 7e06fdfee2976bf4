#pragma once
// The news command: the operator's news file becomes the store's signed news document, which the
// launcher shows in its news panel. The input has the document's own form; it is checked by the same
// parser that the launcher runs, then written in a fixed form, so one input always gives the same bytes.

#include "patch/news_document.hpp"

#include <filesystem>
#include <functional>
#include <string>

namespace kyrstore {

struct NewsOptions {
    std::filesystem::path key_file;
    std::filesystem::path input;
    std::filesystem::path store_dir;
    std::string channel = "windows";
};

struct NewsSummary {
    std::string news_path; // store path, "/" separators
    std::size_t items = 0;
    bool headline = false;
    std::string public_key;
};

// What is wrong with the options before anything is read (the channel's name), or empty.
std::string news_option_problem(const NewsOptions& options);

// Compact JSON: "headline" when not empty, then "items", each with "title", "body", and "date" and "link"
// when not empty.
std::string news_json(const gu::patch::News& news);

// Throws std::runtime_error with a message for the operator (bad input names the input file and the field
// at fault); the store is untouched then. Writes under the publisher's lock, durably.
NewsSummary publish_news(const NewsOptions& options, const std::function<void(const std::string&)>& notice);

} // namespace kyrstore
