// The splitter as it worked before it read its input as a stream: line by
// line, each line gathered whole and then cut at its tags, every file kept
// in memory. Simple and proven, it is the model that the product's splitter
// is held against: for an input, the files a run writes and how it ends.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct ModelOutcome {
    std::map<std::string, std::string> Files;  // the list file and every form file, by name
    uint16_t ErrorNumber = 0;  // the fatal run-time error, or 0 when the run got to the launch
};

ModelOutcome ModelSplit(const std::string& input, const std::string& baseName);

// The second line of the report that ends a run with this error number.
std::string ModelReportLine(uint16_t errorNumber);
