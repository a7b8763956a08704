#include "engine/OptionRecords.h"

namespace kv {

void ResetInputOptions(TInputOptions& Options) { Options = TInputOptions{}; }
void ResetStreamInfo(TStreamInfo& Info) { Info = TStreamInfo{}; }
void ResetOutputOptions(TOutputOptions& Options) { Options = TOutputOptions{}; }

}  // namespace kv
