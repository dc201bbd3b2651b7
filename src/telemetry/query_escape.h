// Escaping of a free text as one query value of a report.
#pragma once
#include <string>

// The whole text as one URL segment ('/' and '?' escaped too), characters
// outside ASCII as percent-escaped UTF-8. Empty when the result would not
// fit the 2084 characters a URL may have.
std::wstring EscapeQueryValue(const std::wstring& text);
