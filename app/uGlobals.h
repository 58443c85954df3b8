// Helpers shared by the whole application: text splitting and URL decoding
// for the server, the application folders and shell helpers for the window,
// the settings store and the updater.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// ---- Text helpers (uGlobals.cpp) ----

// Splits text at each occurrence of delimiter (exact comparison). An empty
// text or a negative limit gives no elements; an empty delimiter gives the
// whole text. A positive limit caps the number of elements, the last one
// taking the rest. The text ends at its first U+0000, and a delimiter at the
// very end adds no empty element.
std::vector<std::u16string> SplitString(const std::u16string& delimiter,
                                        const std::u16string& text, int limit);

// Decodes URL text: "+" is a space, "%XX" a byte. A run of such bytes that
// forms valid UTF-8 becomes those characters; any other byte becomes the
// character with that code (U+0080 to U+00FF). A "%" not followed by two hex
// digits is dropped when two characters follow it and kept otherwise.
std::u16string URLDecode(const std::u16string& text);

// Bytes from outside (requests, files) as text: UTF-8 where the bytes form
// valid UTF-8 sequences, any other byte as the character with that code.
std::u16string UTF8OrLatin1ToText(std::string_view bytes);

// Text as UTF-8 bytes; an unpaired surrogate becomes U+FFFD.
std::string TextToUTF8Bytes(std::u16string_view text);

// Lower-cases A to Z only, leaving every other character as it is, so keys
// and extensions compare the same whatever the locale.
std::u16string LowerCaseASCII(std::u16string text);
std::string LowerCaseASCII(std::string text);

// ---- Application folders and shell helpers (uGlobals_Folders.cpp) ----

// The application's folders, each ending with "/". Empty until
// InitAppFolders has run.
extern std::string AppDataPath; // $XDG_DATA_HOME/Tervalo/, default ~/.local/share/Tervalo/
extern std::string TempPath;    // AppDataPath + "Temp/"
extern std::string DocsPath;    // the documents folder + "Tervalo/"

// The folders GetSpecialFolder knows.
enum class TSpecialFolder { sfLocalAppData, sfDocuments };

// The user's folder of that kind, not created, without a trailing "/";
// empty when the environment names none.
std::string GetSpecialFolder(TSpecialFolder folder);

// Computes AppDataPath, TempPath and DocsPath from the environment.
void InitAppFolders();

// Creates AppDataPath, then TempPath, with their parents. Errors are
// ignored; when the first fails the second is not tried.
void CreateAppFolders();

// The settings file: AppDataPath + "settings.xsf".
std::string SettingsFilePath();

// Appends "/" unless the text already ends with one.
std::string IncludeTrailingPathDelimiter(std::string path);

// Creates the folder and every missing parent; answers false on failure and
// never raises, because folder creation is housekeeping.
bool ForceDirectories(const std::string& path) noexcept;

// Opens a file or URL with the desktop's default program (xdg-open), without
// waiting for it and without looking at the outcome.
void ShellOpen(const std::string& target);

// The program's web site and the pages the window links to.
constexpr char MakerSiteName[] = "tervalo.example.org";
constexpr char MakerHomeURL[] = "https://tervalo.example.org/";
constexpr char MakerRedirectURL[] = "https://tervalo.example.org/redirect.php?name=";
