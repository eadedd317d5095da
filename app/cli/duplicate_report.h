#pragma once

#include <string>
#include <vector>

#include "duplicates/duplicate_groups.h"

// The groups of a comparison as the window's tree lists them: heads in
// record order, each with its members; as indented text, CSV or JSON.
enum class CReportFormat { Text, Csv, Json };

bool ParseReportFormat(const std::string& text, CReportFormat& format);
std::string FormatDuplicateGroups(const std::vector<dif::SDuplicateGroup>& groups, CReportFormat format);
