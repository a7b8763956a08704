// The option records of a conversion as JSON objects, field by field, for the report and --dry-run.
#pragma once

#include <nlohmann/json.hpp>

#include "engine/OptionRecords.h"

namespace kv::cli {

nlohmann::ordered_json InputRecordObject(const TInputOptions& Record);
nlohmann::ordered_json OutputRecordObject(const TOutputOptions& Record);

}  // namespace kv::cli
