#include "patch/install_file.hpp"

#include "patch/atomic_file.hpp"
#include "patch/local_path.hpp"
#include "patch/trust_anchor.hpp"

namespace gu::patch {

void install_file(const std::filesystem::path& target_root, std::string_view path, std::string_view bytes,
                  const std::filesystem::path& anchor_dir) {
    static const AtomicWriteMessages kMessages{"failed to open for write: ", "failed writing: ", "failed to install "};
    const std::filesystem::path target = local_path(target_root, path);
    std::filesystem::create_directories(target.parent_path());
    write_file_atomically(target, with_suffix(target, ".updpart"), bytes, kMessages,
                          [&] { forget_anchored_file(anchor_dir, path); });
}

} // namespace gu::patch
