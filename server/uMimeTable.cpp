#include "uMimeTable.h"

#include "uGlobals.h"

namespace {

constexpr char DefaultType[] = "application/octet-stream";

// The types a small site needs when no table file is found.
// clang-format off
const char* const BuiltInTypes[][2] = {
    {".html", "text/html"},           {".htm",  "text/html"},
    {".css",  "text/css"},            {".js",   "text/javascript"},
    {".mjs",  "text/javascript"},     {".json", "application/json"},
    {".txt",  "text/plain"},          {".xml",  "application/xml"},
    {".csv",  "text/csv"},            {".md",   "text/markdown"},
    {".png",  "image/png"},           {".jpg",  "image/jpeg"},
    {".jpeg", "image/jpeg"},          {".gif",  "image/gif"},
    {".svg",  "image/svg+xml"},       {".ico",  "image/x-icon"},
    {".webp", "image/webp"},          {".bmp",  "image/bmp"},
    {".avif", "image/avif"},          {".woff", "font/woff"},
    {".woff2","font/woff2"},          {".ttf",  "font/ttf"},
    {".otf",  "font/otf"},            {".pdf",  "application/pdf"},
    {".zip",  "application/zip"},     {".gz",   "application/gzip"},
    {".tar",  "application/x-tar"},   {".wasm", "application/wasm"},
    {".mp3",  "audio/mpeg"},          {".ogg",  "audio/ogg"},
    {".wav",  "audio/wav"},           {".mp4",  "video/mp4"},
    {".webm", "video/webm"},
};
// clang-format on

} // namespace

void TMimeTable::LoadLines(const std::vector<std::string>& lines, char separator)
{
    std::lock_guard lock(FLock);
    FTypes.clear();
    for (const std::string& line : lines) {
        const size_t sep = line.find(separator);
        if (sep == std::string::npos)
            continue;
        std::string ext = LowerCaseASCII(line.substr(0, sep));
        std::string type = LowerCaseASCII(line.substr(sep + 1));
        if (ext.empty() || type.empty())
            continue;
        if (ext.front() != '.')
            ext.insert(ext.begin(), '.');
        FTypes.emplace(std::move(ext), std::move(type)); // keeps the first entry
    }
}

std::string TMimeTable::TypeOf(std::string_view fileName)
{
    const size_t slash = fileName.find_last_of('/');
    const std::string_view name =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string_view::npos ? std::string()
                                                    : LowerCaseASCII(std::string(name.substr(dot)));
    std::lock_guard lock(FLock);
    if (FTypes.empty())
        FillBuiltIn();
    const auto found = FTypes.find(ext);
    return found == FTypes.end() ? DefaultType : found->second;
}

bool TMimeTable::Empty()
{
    std::lock_guard lock(FLock);
    return FTypes.empty();
}

void TMimeTable::FillBuiltIn()
{
    for (const auto& row : BuiltInTypes)
        FTypes.emplace(row[0], row[1]);
}
