#include "tools/kyr-store/news.hpp"

#include "tools/kyr-store/game_folder.hpp"
#include "tools/kyr-store/publish.hpp"
#include "tools/kyr-store/signing_key.hpp"
#include "tools/kyr-store/store_files.hpp"
#include "tools/kyr-store/store_lock.hpp"

#include "patch/errors.hpp"
#include "patch/signed_document.hpp"

#include <boost/json.hpp>

#include <fstream>
#include <stdexcept>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;
namespace json = boost::json;

// At most one byte past the document limit is read: enough for the parser to refuse a larger file.
std::string read_input(const fs::path& input) {
    std::ifstream in(input, std::ios::binary);
    if (!in.is_open()) {
        throw std::runtime_error("cannot open " + input.u8string());
    }
    std::string text(gu::patch::kMaxNewsDocumentBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        throw std::runtime_error("cannot read " + input.u8string());
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

gu::patch::News checked(const std::string& text, const std::string& where) {
    try {
        return gu::patch::parse_news(text);
    } catch (const gu::patch::ManifestError& e) {
        throw std::runtime_error(where + ": " + e.what());
    }
}

// Launchers that trust the channel's key would refuse news signed with another one, and say nothing.
void check_key_of_channel(const fs::path& store, const std::string& channel, const SigningKey& key,
                          const std::function<void(const std::string&)>& notice) {
    const fs::path path = store / channel_store_path(channel);
    const std::optional<std::string> text = read_store_file(path);
    if (!text) {
        return;
    }
    const std::optional<std::string> signature = read_store_file(fs::path(path) += ".sig");
    if ((!signature || !gu::patch::signature_holds(*text, *signature, key.public_key_base64())) && notice) {
        notice("the channel \"" + channel +
               "\" was not signed with this key: launchers that trust its key will "
               "show no news");
    }
}

} // namespace

std::string news_option_problem(const NewsOptions& options) {
    const std::string reason = unsafe_name_reason(options.channel);
    return reason.empty() ? "" : "invalid channel \"" + options.channel + "\": " + reason;
}

std::string news_json(const gu::patch::News& news) {
    json::array items;
    for (const gu::patch::NewsItem& item : news.items) {
        json::object entry{{"title", item.title}, {"body", item.body}};
        if (!item.date.empty()) {
            entry["date"] = item.date;
        }
        if (!item.link.empty()) {
            entry["link"] = item.link;
        }
        items.push_back(std::move(entry));
    }
    json::object document;
    if (!news.headline.empty()) {
        document["headline"] = news.headline;
    }
    document["items"] = std::move(items);
    return json::serialize(document);
}

NewsSummary publish_news(const NewsOptions& options, const std::function<void(const std::string&)>& notice) {
    const std::string problem = news_option_problem(options);
    if (!problem.empty()) {
        throw std::runtime_error(problem);
    }
    const gu::patch::News news = checked(read_input(options.input), options.input.u8string());
    const std::string text = news_json(news);
    checked(text, "internal error, the launcher would refuse the news document");
    const SigningKey key = SigningKey::load(options.key_file, notice);

    NewsSummary summary;
    summary.news_path = gu::patch::news_store_path(options.channel);
    summary.items = news.items.size();
    summary.headline = !news.headline.empty();
    summary.public_key = key.public_key_base64();
    fs::create_directories(options.store_dir);
    const StoreLock lock(options.store_dir);
    check_key_of_channel(options.store_dir, options.channel, key, notice);
    write_signed(options.store_dir, summary.news_path, text, key);
    return summary;
}

} // namespace kyrstore
