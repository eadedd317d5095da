#pragma once

#include <string>
#include <vector>

// The duplicate finder's two steps, as its window does them: `scan` builds
// the signature database from folder trees, `compare` lists the groups.
int RunScanCommand(const std::vector<std::string>& args);
int RunCompareCommand(const std::vector<std::string>& args);

// A stop request for a running scan or comparison (from a signal handler).
void StopDuplicateWork();
