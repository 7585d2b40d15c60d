// The rules of fetching the info and update files that need no system:
// where a file is looked for, how an error page is recognised, and which
// warning a failed update transfer gives.
#pragma once

#include <string>

// The two files fetched from an update location.
enum : int { kInfoFile = 1, kUpdateFile = 2 };

// A file at a location: the folder form (location "\" name) is tried first,
// the web form (location "/" name) only when no file stands there.
std::string FolderSource(const std::string& location, const std::string& name);
std::string WebSource(const std::string& location, const std::string& name);

// What the user is told when a server's error page arrived instead of a file.
std::string ErrorPageMessage(const std::string& url);
// defaultMessage, or the error-page message when content holds "<TITLE" and
// "</TITLE" in any letter case.
std::string ErrorPageText(const std::string& content, const std::string& url, const std::string& defaultMessage);

// The warning after a failed update transfer: abortedText when the user
// stopped it; else the source, a line break and notFoundText for a drive
// path ("C:..."), unableText for any other address.
std::string TransferWarningText(bool aborted, const std::string& source, const std::string& abortedText,
                                const std::string& notFoundText, const std::string& unableText);
