#include "update/UpdateFetch.h"

#include "support/Utils.h"

std::string FolderSource(const std::string& location, const std::string& name) { return PathJoin(location, name); }
std::string WebSource(const std::string& location, const std::string& name) { return location + "/" + name; }

std::string ErrorPageMessage(const std::string& url) { return "<b>404 File Not Found...</b><P><P>URL:  " + url; }

std::string ErrorPageText(const std::string& content, const std::string& url, const std::string& defaultMessage) {
  // The whole content is searched, a NUL byte included (Pos stops at one).
  const std::string upper = UpperCase(content);
  const bool page = upper.find("<TITLE") != std::string::npos && upper.find("</TITLE") != std::string::npos;
  return page ? ErrorPageMessage(url) : defaultMessage;
}

std::string TransferWarningText(bool aborted, const std::string& source, const std::string& abortedText,
                                const std::string& notFoundText, const std::string& unableText) {
  if (aborted) return abortedText;
  const bool drivePath = source.size() > 1 && source[1] == ':';
  return source + "\\\\n\\\\n" + (drivePath ? notFoundText : unableText);
}
