#include "patch/install_file.hpp"

#include "patch/atomic_file.hpp"
#include "patch/local_path.hpp"
#include "patch/sha256.hpp"
#include "patch/trust_anchor.hpp"

namespace gu::patch {

std::string install_file(const std::filesystem::path& target_root, std::string_view path, std::string_view bytes,
                         const std::string& expected_sha256, const std::filesystem::path& anchor_dir) {
    static const AtomicWriteMessages kMessages{"failed to open for write: ", "failed writing: ", "failed to install "};
    const std::filesystem::path target = local_path(target_root, path);
    std::filesystem::create_directories(target.parent_path());
    Sha256 hasher;
    std::string actual;
    const WriteCheck check{[&](std::string_view slice) { hasher.update(slice); },
                           [&] {
                               const Sha256Digest digest = hasher.finish();
                               actual = to_hex(digest.data(), digest.size());
                               return actual == expected_sha256;
                           }};
    write_file_checked(target, with_suffix(target, ".updpart"), bytes, kMessages, check,
                       [&] { forget_anchored_file(anchor_dir, path); });
    return actual;
}

} // namespace gu::patch
