// The table of content types by file extension that file answers use; read
// from any worker thread, so every operation takes the table's lock.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TMimeTable final {
public:
    // Empties the table, then adds one entry per line holding the separator:
    // the extension is the text before it (lower-cased, "." put in front if
    // missing), the type the rest (lower-cased). Lines with an empty part are
    // skipped; the first line for an extension wins.
    void LoadLines(const std::vector<std::string>& lines, char separator = '=');

    // The type for the extension of fileName (from its last "." in the last
    // path segment, compared lower-cased). An empty table is first filled
    // with the built-in list; an unknown extension gives
    // "application/octet-stream".
    std::string TypeOf(std::string_view fileName);

    bool Empty();

private:
    void FillBuiltIn();

    std::mutex FLock;
    std::unordered_map<std::string, std::string> FTypes;
};
