#pragma once

#include "patch/downloader_config.hpp"

#include <string>

namespace kyrpatch {

// The run's result as one compact JSON object, with the field names of the engine's record.
std::string run_result_json(const gu::patch::RunResult& result);

} // namespace kyrpatch
