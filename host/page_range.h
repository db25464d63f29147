// Page-range text as users type it: page numbers and ranges separated by
// commas ("1,5-9,12"), counted from 1. Blanks around numbers and one
// trailing comma are allowed; a range runs from its smaller number to its
// larger one and is written low first ("9-5" is an input error).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kshost {

enum class PageRangeError {
  kNone = 0,
  kEmpty = 1,     // nothing but blanks
  kInput = 2,     // not numbers and ranges separated by commas
  kNoPage = 3,    // a page below 1 or above the page count
  kSamePage = 4,  // a page named twice
};

struct PageRanges {
  // Inclusive, 1-based, in the order the text names them.
  std::vector<std::pair<int, int>> ranges;
  PageRangeError error = PageRangeError::kNone;
};

// Reads `text` for a document of `pageCount` pages. On an error the ranges
// are empty. The first error met, left to right, is reported, except that
// a repeated page is only known once the whole text has been read.
PageRanges ParsePageRanges(std::u16string_view text, int pageCount);

// How many pages the ranges name.
long long PageRangeCount(const std::vector<std::pair<int, int>>& ranges);

// The ranges written back as "A-B," pieces ("1-1,5-9,").
std::u16string FormatPageRanges(const std::vector<std::pair<int, int>>& ranges);

// The translation key of the message for an error; empty for kNone.
const char* PageRangeMessageKey(PageRangeError error);

}  // namespace kshost
