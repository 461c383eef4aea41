#pragma once

#include "CliCommon.hpp"

namespace orvane::cli {

/// One sub-command of `orvane`: its name, a one-line usage, a summary and
/// the function that runs it (returns the exit code; throws UsageError,
/// orvane::Error or orvane::Cancelled).
struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(Args& args);
};

int RunInfo(Args& args);
int RunConvert(Args& args);
int RunExportGm(Args& args);
int RunImportMap(Args& args);
int RunGeoTiffMap(Args& args);
int RunGps(Args& args);
int RunTileUrl(Args& args);
int RunAssemble(Args& args);
int RunImport(Args& args);
int RunPlan(Args& args);
int RunCompile(Args& args);

} // namespace orvane::cli
