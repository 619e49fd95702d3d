#include "shell/archive_log_words.h"

#include <cstdio>
#include <vector>

#include "shell/string_ids.h"
#include "shell/string_table.h"

namespace strixc::shell {

archive::ArchiveMessageLog::SummaryWords ArchiveLogWords() {
  archive::ArchiveMessageLog::SummaryWords words;
  words.counts = [](int errors, int warnings) {
    const std::string format(Text(text::kLogSummaryCounted));
    const std::string e = CountedText(text::kCountErrors, errors);
    const std::string w = CountedText(text::kCountWarnings, warnings);
    std::vector<char> line(format.size() + e.size() + w.size() + 1);
    std::snprintf(line.data(), line.size(), format.c_str(), e.c_str(), w.c_str());
    return std::string(line.data());
  };
  words.more = [](int more) { return CountedText(text::kCountMoreMessages, more); };
  return words;
}

}  // namespace strixc::shell
