#include "patch/json_fields.hpp"
#include "patch/path_rules.hpp"
#include "patch/store_documents.hpp"

#include <boost/json/monotonic_resource.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gu::patch {
namespace {

constexpr std::string_view kManifest = "manifest";
constexpr std::string_view kManifestFile = "manifest file";
constexpr std::string_view kManifestChunk = "manifest chunk";

std::string file_message(const std::string& path, std::string_view tail) {
    std::string message = "manifest file \"";
    message += path;
    message += "\": ";
    message += tail;
    return message;
}

std::vector<std::string> read_preserve(const boost::json::object& root) {
    std::vector<std::string> preserve;
    const boost::json::value* member = root.if_contains("preserve");
    if (member == nullptr) {
        return preserve;
    }
    const boost::json::array* entries = member->if_array();
    if (entries == nullptr) {
        fail_document("manifest: field \"preserve\" must be an array");
    }
    preserve.reserve(entries->size());
    for (const boost::json::value& entry : *entries) {
        const boost::json::string* text = entry.if_string();
        if (text == nullptr) {
            fail_document("manifest: \"preserve\" entries must be strings");
        }
        preserve.emplace_back(text->data(), text->size());
    }
    return preserve;
}

ManifestChunk read_chunk(const boost::json::object& object) {
    ManifestChunk chunk;
    chunk.h = require_string(object, "h", kManifestChunk);
    chunk.n = read_unsigned(object, "n", kManifestChunk);
    chunk.z = read_unsigned(object, "z", kManifestChunk);
    return chunk;
}

ManifestFile read_file(const boost::json::object& object) {
    ManifestFile file;
    file.path = require_string(object, "path", kManifestFile);
    file.size = read_unsigned(object, "size", kManifestFile);
    file.sha256 = require_string(object, "sha256", kManifestFile);
    const boost::json::array* chunks = require_field(object, "chunks", kManifestFile).if_array();
    if (chunks == nullptr) {
        fail_document(file_message(file.path, "\"chunks\" must be an array"));
    }
    file.chunks.reserve(chunks->size());
    for (const boost::json::value& element : *chunks) {
        const boost::json::object* chunk = element.if_object();
        if (chunk == nullptr) {
            fail_document(file_message(file.path, "chunk entries must be objects"));
        }
        file.chunks.push_back(read_chunk(*chunk));
    }
    return file;
}

// A path that is_safe_relative_path refuses keeps the plain message; the other refusals say why.
void check_file_path(const std::string& path, PathClashes& clashes, const std::vector<ManifestFile>& files) {
    const std::string problem = installed_path_problem(path);
    if (!problem.empty()) {
        std::string message = "manifest: unsafe file path \"" + path + "\"";
        if (is_safe_relative_path(path)) {
            message += ": " + problem;
        }
        fail_document(std::move(message));
    }
    if (const std::optional<PathClashes::Clash> clash = clashes.add(path)) {
        fail_document("manifest: file path \"" + path + "\" clashes with \"" + files[clash->earlier].path +
                      "\": " + (clash->file_and_folder ? "a file and a folder of the same name" : "the same file") +
                      " on Windows");
    }
}

} // namespace

Manifest parse_manifest(std::string_view text) {
    // A manifest of a whole installation is tens of megabytes of JSON. The DOM lives only for this call,
    // so it goes into one arena: no per-node allocation, and nothing to free node by node.
    boost::json::monotonic_resource arena;
    const boost::json::object root = parse_document_object(text, kManifest, &arena);

    Manifest manifest;
    manifest.schema = read_schema(root, kManifest);
    manifest.product = require_string(root, "product", kManifest);
    manifest.channel = optional_string(root, "channel");
    manifest.version = require_string(root, "version", kManifest);
    manifest.platform = require_string(root, "platform", kManifest);
    manifest.total_size = read_unsigned(root, "total_size", kManifest);
    manifest.preserve = read_preserve(root);

    const boost::json::array* files = require_field(root, "files", kManifest).if_array();
    if (files == nullptr) {
        fail_document("manifest: field \"files\" must be an array");
    }
    manifest.files.reserve(files->size());
    for (const boost::json::value& element : *files) {
        const boost::json::object* file = element.if_object();
        if (file == nullptr) {
            fail_document("manifest: file entries must be objects");
        }
        manifest.files.push_back(read_file(*file));
    }
    return manifest;
}

void validate_manifest(const Manifest& manifest, std::string_view expected_product,
                       std::string_view expected_platform) {
    if (manifest.schema != 1) {
        fail_document("manifest: unsupported schema " + std::to_string(manifest.schema));
    }
    if (manifest.product != expected_product) {
        std::string message = "manifest: product mismatch (expected \"";
        message += expected_product;
        message += "\", got \"" + manifest.product + "\")";
        fail_document(std::move(message));
    }
    if (manifest.platform != expected_platform) {
        std::string message = "manifest: platform mismatch (expected \"";
        message += expected_platform;
        message += "\", got \"" + manifest.platform + "\")";
        fail_document(std::move(message));
    }
    PathClashes clashes;
    for (const ManifestFile& file : manifest.files) {
        check_file_path(file.path, clashes, manifest.files);
        // A sum that wraps past 2^64 cannot describe a real file, even when the wrapped value happens
        // to equal the size; the message still shows the wrapped 64-bit sum.
        std::uint64_t sum = 0;
        bool wrapped = false;
        for (const ManifestChunk& chunk : file.chunks) {
            wrapped = wrapped || chunk.n > UINT64_MAX - sum;
            sum += chunk.n;
        }
        if (wrapped || sum != file.size) {
            fail_document("manifest: file \"" + file.path + "\" chunk sizes sum to " + std::to_string(sum) +
                          " but size is " + std::to_string(file.size));
        }
    }
}

} // namespace gu::patch
