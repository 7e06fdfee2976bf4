#include "tools/kyr-patch/run_report.hpp"

#include <boost/json.hpp>

namespace kyrpatch {

std::string run_result_json(const gu::patch::RunResult& r) {
    const boost::json::object object{
        {"ok", r.ok},
        {"error", r.error},
        {"version", r.version},
        {"files_installed", r.files_installed},
        {"files_current", r.files_current},
        {"files_preserved", r.files_preserved},
        {"chunks_obtained", r.chunks_obtained},
        {"bytes_downloaded", r.bytes_downloaded},
        {"packs_downloaded", r.packs_downloaded},
        {"used_pack_index", r.used_pack_index},
        {"apk_ready", r.apk_ready},
        {"apk_path", r.apk_path},
        {"apk_sha", r.apk_sha},
        {"local_write_failed", r.local_write_failed},
        {"space_wanted_bytes", r.space_wanted_bytes},
        {"space_free_bytes", r.space_free_bytes},
        {"files_removed", r.files_removed},
        {"files_written", r.files_written},
        {"running_program_replaced", r.running_program_replaced},
    };
    return boost::json::serialize(object);
}

} // namespace kyrpatch
