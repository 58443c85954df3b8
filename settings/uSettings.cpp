#include "uSettings.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>
#include <system_error>

namespace {

constexpr char RootName[] = "xsf";
// The comment names the program's web site, so someone who finds the file
// knows what wrote it.
constexpr char FileComment[] = "XML Settings File - tervalo.example.org";
constexpr char BrokenSuffix[] = ".bad";
constexpr char BrokenFileMessage[] =
    "tervalo: the settings file %s could not be read (%s); it was kept as %s and the "
    "settings start empty\n";
constexpr char BrokenFileNotMovedMessage[] =
    "tervalo: the settings file %s could not be read (%s) nor renamed; the settings start "
    "empty\n";

// Names match whatever letter case the caller uses; only A to Z change, so a
// name never changes length or meaning under another locale.
std::string LowerName(const std::string& name)
{
    std::string result = name;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

// The whole text must be a decimal integer that fits; anything else is "no
// integer" and the caller falls back to its default.
bool ParseInt(const std::string& text, int& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return false;
    }
    const auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last && first != last;
}

// from_chars ignores the locale, so a file written under one language reads
// the same under another.
bool ParseDouble(const std::string& text, double& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return false;
    }
    const auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last && first != last;
}

std::string FormatDouble(double value)
{
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

// Empty character data counts as none, so a value reads the same before and
// after a save and reload (the writer turns it into an empty element).
bool HasText(pugi::xml_node node)
{
    const pugi::xml_text text = node.text();
    return !text.empty() && *text.get() != '\0';
}

bool ReadFileBytes(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool IsValidUTF8(const std::string& bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        size_t length = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) || cp > 0x10FFFF
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// A byte-order mark decides; without one the text is UTF-8 when it is valid
// UTF-8, and otherwise Latin-1, as a hand edit in an 8-bit editor leaves it.
pugi::xml_encoding GuessEncoding(const std::string& bytes)
{
    const bool hasBOM = bytes.rfind("\xEF\xBB\xBF", 0) == 0 || bytes.rfind("\xFF\xFE", 0) == 0
                        || bytes.rfind("\xFE\xFF", 0) == 0;
    return hasBOM || IsValidUTF8(bytes) ? pugi::encoding_auto : pugi::encoding_latin1;
}

int ReadChildInt(pugi::xml_node parent, const char* name, int def)
{
    const pugi::xml_node child = parent.child(name);
    int value = def;
    if (!child || !HasText(child) || !ParseInt(child.text().get(), value))
        return def;
    return value;
}

} // namespace

TSettMngr::TSettMngr(std::string path)
    : FSettings(std::make_unique<pugi::xml_document>())
    , FPath(std::move(path))
{
    ResetDocument(true);
    Load();
}

TSettMngr::~TSettMngr() = default;

void TSettMngr::ResetDocument(bool withComment)
{
    FSettings->reset();
    pugi::xml_node decl = FSettings->append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "utf-8";
    if (withComment)
        FSettings->append_child(pugi::node_comment).set_value(FileComment);
    FSettings->append_child(RootName);
}

void TSettMngr::Load()
{
    std::error_code ec;
    if (FPath.empty() || !std::filesystem::is_regular_file(FPath, ec))
        return;
    pugi::xml_document loaded;
    pugi::xml_parse_result result;
    std::string bytes;
    if (ReadFileBytes(FPath, bytes)) {
        result =
            loaded.load_buffer(bytes.data(), bytes.size(),
                               pugi::parse_default | pugi::parse_declaration | pugi::parse_comments,
                               GuessEncoding(bytes));
    } else {
        result.status = pugi::status_io_error;
    }
    if (result || result.status == pugi::status_no_document_element) {
        FSettings->reset(loaded);
        if (!FSettings->document_element())
            ResetDocument(false);
        return;
    }
    // A broken file is kept aside rather than overwritten by the next save:
    // the user may want to mend it by hand.
    const std::string aside = FPath + BrokenSuffix;
    std::filesystem::rename(FPath, aside, ec);
    if (ec)
        std::fprintf(stderr, BrokenFileNotMovedMessage, FPath.c_str(), result.description());
    else
        std::fprintf(stderr, BrokenFileMessage, FPath.c_str(), result.description(), aside.c_str());
}

pugi::xml_node TSettMngr::Root() const
{
    return FSettings->document_element();
}

pugi::xml_node TSettMngr::FindKey(const std::string& section, const std::string& key) const
{
    if (section.empty() || key.empty())
        return {};
    const pugi::xml_node sect = Root().child(LowerName(section).c_str());
    return sect ? sect.child(LowerName(key).c_str()) : pugi::xml_node();
}

pugi::xml_node TSettMngr::ForceKey(const std::string& section, const std::string& key)
{
    const std::string sectName = LowerName(section);
    const std::string keyName = LowerName(key);
    pugi::xml_node root = Root();
    pugi::xml_node sect = root.child(sectName.c_str());
    if (!sect)
        sect = root.append_child(sectName.c_str());
    pugi::xml_node node = sect.child(keyName.c_str());
    if (!node)
        node = sect.append_child(keyName.c_str());
    return node;
}

// Sets one child element's text when it is missing or differs; answers
// whether anything changed.
bool TSettMngr::SetChildText(pugi::xml_node parent, const char* name, const std::string& value)
{
    pugi::xml_node child = parent.child(name);
    if (!child)
        child = parent.append_child(name);
    if (HasText(child) && value == child.text().get())
        return false;
    child.text().set(value.c_str());
    return true;
}

std::string TSettMngr::Read(const std::string& section, const std::string& key,
                            const std::string& def) const
{
    const pugi::xml_node node = FindKey(section, key);
    if (!node || !HasText(node))
        return def;
    return node.text().get();
}

std::string TSettMngr::Read(const std::string& section, const std::string& key,
                            const char* def) const
{
    return Read(section, key, std::string(def ? def : ""));
}

int TSettMngr::Read(const std::string& section, const std::string& key, int def) const
{
    int value = def;
    if (!ParseInt(Read(section, key, std::to_string(def)), value))
        return def;
    return value;
}

bool TSettMngr::Read(const std::string& section, const std::string& key, bool def) const
{
    const std::string text = Read(section, key, std::string());
    if (text == "0")
        return false;
    if (text == "1")
        return true;
    return def;
}

double TSettMngr::Read(const std::string& section, const std::string& key, double def) const
{
    double value = def;
    if (!ParseDouble(Read(section, key, FormatDouble(def)), value))
        return def;
    return value;
}

void TSettMngr::Write(const std::string& section, const std::string& key, const std::string& value)
{
    if (section.empty() || key.empty())
        return;
    pugi::xml_node node = ForceKey(section, key);
    if (HasText(node) && value == node.text().get())
        return;
    node.text().set(value.c_str());
    FModified = true;
}

void TSettMngr::Write(const std::string& section, const std::string& key, const char* value)
{
    Write(section, key, std::string(value ? value : ""));
}

void TSettMngr::Write(const std::string& section, const std::string& key, int value)
{
    Write(section, key, std::to_string(value));
}

void TSettMngr::Write(const std::string& section, const std::string& key, bool value)
{
    Write(section, key, std::string(value ? "1" : "0"));
}

void TSettMngr::Write(const std::string& section, const std::string& key, double value)
{
    Write(section, key, FormatDouble(value));
}

void TSettMngr::Delete(const std::string& section, const std::string& key)
{
    pugi::xml_node node = FindKey(section, key);
    if (!node)
        return;
    node.parent().remove_child(node);
    FModified = true;
}

void TSettMngr::Save()
{
    if (!FModified || FPath.empty())
        return;
    // A failed save must never stop the caller: the settings stay in memory.
    try {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path target(FPath);
        if (target.has_parent_path())
            fs::create_directories(target.parent_path(), ec);
        // Written beside the file and then renamed over it, so a crash or a
        // full disk in the middle leaves the previous settings whole.
        const std::string temp = FPath + ".tmp";
        if (!FSettings->save_file(temp.c_str(), "  ", pugi::format_default, pugi::encoding_utf8)) {
            fs::remove(temp, ec);
            return;
        }
        fs::rename(temp, target, ec);
        if (ec)
            fs::remove(temp, ec);
    } catch (...) {
    }
}

void TSettMngr::ReadForm(const std::string& section, const std::string& key,
                         TFormGeometry& form) const
{
    const pugi::xml_node node = FindKey(section, key);
    if (!node)
        return;
    form.Left = ReadChildInt(node, "left", form.Left);
    form.Top = ReadChildInt(node, "top", form.Top);
    form.Width = ReadChildInt(node, "width", form.Width);
    form.Height = ReadChildInt(node, "height", form.Height);
    const int state = ReadChildInt(node, "state", form.State);
    // Opening minimised would look like the program did not start.
    form.State =
        state == TFormGeometry::fsMaximized ? TFormGeometry::fsMaximized : TFormGeometry::fsNormal;
}

void TSettMngr::WriteForm(const std::string& section, const std::string& key,
                          const TFormGeometry& form)
{
    if (section.empty() || key.empty())
        return;
    pugi::xml_node node = ForceKey(section, key);
    bool changed = false;
    changed |= SetChildText(node, "left", std::to_string(form.Left));
    changed |= SetChildText(node, "top", std::to_string(form.Top));
    changed |= SetChildText(node, "width", std::to_string(form.Width));
    changed |= SetChildText(node, "height", std::to_string(form.Height));
    changed |= SetChildText(node, "state", std::to_string(form.State));
    if (changed)
        FModified = true;
}

void TSettMngr::ReadMRU(const std::string& section, const std::string& key, TMRUList& list) const
{
    const pugi::xml_node node = FindKey(section, key);
    if (!node)
        return;
    list.Items.clear();
    // From the last slot to the first, each entry going on top, so "item1"
    // ends first.
    for (int n = list.MaxCount; n >= 1; --n) {
        const pugi::xml_node item = node.child(("item" + std::to_string(n)).c_str());
        if (item && HasText(item))
            list.Items.insert(list.Items.begin(), item.text().get());
    }
}

void TSettMngr::WriteMRU(const std::string& section, const std::string& key, const TMRUList& list)
{
    if (section.empty() || key.empty())
        return;
    pugi::xml_node old = FindKey(section, key);
    if (old)
        old.parent().remove_child(old);
    pugi::xml_node node = ForceKey(section, key);
    // The key was rebuilt, so even an empty list is a change worth saving.
    FModified = true;
    const size_t limit = list.MaxCount > 0 ? static_cast<size_t>(list.MaxCount) : 0;
    for (size_t i = 0; i < list.Items.size() && i < limit; ++i)
        node.append_child(("item" + std::to_string(i + 1)).c_str())
            .text()
            .set(list.Items[i].c_str());
}

// ---- TThreadSettMngr ----

TThreadSettMngr::TSettThread::TSettThread(std::function<void()> method)
    : FMethod(std::move(method))
    , FThread([this] {
        if (FMethod)
            FMethod();
    })
{}

TThreadSettMngr::TSettThread::~TSettThread()
{
    WaitFor();
}

void TThreadSettMngr::TSettThread::WaitFor()
{
    if (FThread.joinable())
        FThread.join();
}

TThreadSettMngr::TThreadSettMngr(std::string path)
    : FSett(std::make_unique<TSettMngr>(std::move(path)))
{}

TThreadSettMngr::~TThreadSettMngr()
{
    // Every save started is joined, however many there are; joining one that
    // has ended returns at once.
    std::vector<std::unique_ptr<TSettThread>> pending;
    {
        std::lock_guard<std::mutex> guard(FThreadsLock);
        pending.swap(FThreads);
    }
    for (auto& thread : pending)
        thread->WaitFor();
    pending.clear();
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FSett.reset();
}

TSettMngr& TThreadSettMngr::Lock()
{
    FLock.lock();
    return *FSett;
}

void TThreadSettMngr::Unlock()
{
    FLock.unlock();
}

void TThreadSettMngr::ExecLocked(const TSettMngrLockedExec& proc)
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    proc(*FSett);
}

bool TThreadSettMngr::Modified()
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return FSett->Modified();
}

std::string TThreadSettMngr::Path()
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return FSett->Path();
}

template <typename T>
T TThreadSettMngr::LockedRead(const std::string& section, const std::string& key, const T& def)
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return FSett->Read(section, key, def);
}

template <typename T>
void TThreadSettMngr::LockedWrite(const std::string& section, const std::string& key,
                                  const T& value)
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FSett->Write(section, key, value);
}

std::string TThreadSettMngr::Read(const std::string& section, const std::string& key,
                                  const std::string& def)
{
    return LockedRead(section, key, def);
}

std::string TThreadSettMngr::Read(const std::string& section, const std::string& key,
                                  const char* def)
{
    return LockedRead(section, key, std::string(def ? def : ""));
}

int TThreadSettMngr::Read(const std::string& section, const std::string& key, int def)
{
    return LockedRead(section, key, def);
}

bool TThreadSettMngr::Read(const std::string& section, const std::string& key, bool def)
{
    return LockedRead(section, key, def);
}

double TThreadSettMngr::Read(const std::string& section, const std::string& key, double def)
{
    return LockedRead(section, key, def);
}

void TThreadSettMngr::Write(const std::string& section, const std::string& key,
                            const std::string& value)
{
    LockedWrite(section, key, value);
}

void TThreadSettMngr::Write(const std::string& section, const std::string& key, const char* value)
{
    LockedWrite(section, key, std::string(value ? value : ""));
}

void TThreadSettMngr::Write(const std::string& section, const std::string& key, int value)
{
    LockedWrite(section, key, value);
}

void TThreadSettMngr::Write(const std::string& section, const std::string& key, bool value)
{
    LockedWrite(section, key, value);
}

void TThreadSettMngr::Write(const std::string& section, const std::string& key, double value)
{
    LockedWrite(section, key, value);
}

void TThreadSettMngr::Delete(const std::string& section, const std::string& key)
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FSett->Delete(section, key);
}

void TThreadSettMngr::ReadForm(const std::string& section, const std::string& key,
                               TFormGeometry& form)
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FSett->ReadForm(section, key, form);
}

void TThreadSettMngr::WriteForm(const std::string& section, const std::string& key,
                                const TFormGeometry& form)
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FSett->WriteForm(section, key, form);
}

void TThreadSettMngr::ReadMRU(const std::string& section, const std::string& key, TMRUList& list)
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FSett->ReadMRU(section, key, list);
}

void TThreadSettMngr::WriteMRU(const std::string& section, const std::string& key,
                               const TMRUList& list)
{
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FSett->WriteMRU(section, key, list);
}

void TThreadSettMngr::Save()
{
    auto thread = std::make_unique<TSettThread>([this] {
        std::lock_guard<std::recursive_mutex> guard(FLock);
        FSett->Save();
    });
    std::lock_guard<std::mutex> guard(FThreadsLock);
    FThreads.push_back(std::move(thread));
}
