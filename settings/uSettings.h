// The settings store: TSettMngr keeps sections and keys in one XML file, and
// TThreadSettMngr shares one store between threads behind a re-entrant lock
// and can save it in the background.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pugi {
class xml_document;
class xml_node;
} // namespace pugi

// A window's position as the store keeps it: the restored (not maximised)
// rectangle and the show state.
struct TFormGeometry {
    enum TState { fsNormal = 0, fsMinimized = 1, fsMaximized = 2 };
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    int State = fsNormal;
};

// A recently-used list, most recent entry first, holding at most MaxCount entries.
struct TMRUList {
    std::vector<std::string> Items;
    int MaxCount = 10;
};

// Sections and keys of one XML settings file. Names are compared after
// lower-casing the ASCII letters. Not safe for several threads.
class TSettMngr final {
public:
    explicit TSettMngr(std::string path);
    ~TSettMngr();
    TSettMngr(const TSettMngr&) = delete;
    TSettMngr& operator=(const TSettMngr&) = delete;

    bool Modified() const { return FModified; }
    const std::string& Path() const { return FPath; }

    std::string Read(const std::string& section, const std::string& key,
                     const std::string& def) const;
    // Without this a string literal default would pick the Boolean overload.
    std::string Read(const std::string& section, const std::string& key, const char* def) const;
    int Read(const std::string& section, const std::string& key, int def) const;
    bool Read(const std::string& section, const std::string& key, bool def) const;
    double Read(const std::string& section, const std::string& key, double def) const;

    void Write(const std::string& section, const std::string& key, const std::string& value);
    void Write(const std::string& section, const std::string& key, const char* value);
    void Write(const std::string& section, const std::string& key, int value);
    void Write(const std::string& section, const std::string& key, bool value);
    void Write(const std::string& section, const std::string& key, double value);

    void Delete(const std::string& section, const std::string& key);

    // Writes the file when something changed; failures leave the settings in
    // memory only and are not reported.
    void Save();

    void ReadForm(const std::string& section, const std::string& key, TFormGeometry& form) const;
    void WriteForm(const std::string& section, const std::string& key, const TFormGeometry& form);
    void ReadMRU(const std::string& section, const std::string& key, TMRUList& list) const;
    void WriteMRU(const std::string& section, const std::string& key, const TMRUList& list);

private:
    void ResetDocument(bool withComment);
    void Load();
    pugi::xml_node Root() const;
    pugi::xml_node FindKey(const std::string& section, const std::string& key) const;
    pugi::xml_node ForceKey(const std::string& section, const std::string& key);
    bool SetChildText(pugi::xml_node parent, const char* name, const std::string& value);

    std::unique_ptr<pugi::xml_document> FSettings;
    bool FModified = false;
    std::string FPath;
};

// The application's one settings object, shared by the window and worker
// threads. Every access to the store goes through one re-entrant lock.
class TThreadSettMngr final {
public:
    using TSettMngrLockedExec = std::function<void(TSettMngr&)>;

    explicit TThreadSettMngr(std::string path);
    // Waits for every background save, then drops the store without saving.
    ~TThreadSettMngr();
    TThreadSettMngr(const TThreadSettMngr&) = delete;
    TThreadSettMngr& operator=(const TThreadSettMngr&) = delete;

    TSettMngr& Lock();
    void Unlock();
    // Runs proc with the lock held, so several reads, writes and a save form
    // one step. An exception from proc releases the lock and goes on.
    void ExecLocked(const TSettMngrLockedExec& proc);

    bool Modified();
    std::string Path();

    std::string Read(const std::string& section, const std::string& key, const std::string& def);
    std::string Read(const std::string& section, const std::string& key, const char* def);
    int Read(const std::string& section, const std::string& key, int def);
    bool Read(const std::string& section, const std::string& key, bool def);
    double Read(const std::string& section, const std::string& key, double def);

    void Write(const std::string& section, const std::string& key, const std::string& value);
    void Write(const std::string& section, const std::string& key, const char* value);
    void Write(const std::string& section, const std::string& key, int value);
    void Write(const std::string& section, const std::string& key, bool value);
    void Write(const std::string& section, const std::string& key, double value);

    void Delete(const std::string& section, const std::string& key);
    void ReadForm(const std::string& section, const std::string& key, TFormGeometry& form);
    void WriteForm(const std::string& section, const std::string& key, const TFormGeometry& form);
    void ReadMRU(const std::string& section, const std::string& key, TMRUList& list);
    void WriteMRU(const std::string& section, const std::string& key, const TMRUList& list);

    // Saves on a thread of its own and returns at once.
    void Save();

private:
    // One background save. It stays in its owner's list after it ends, so
    // that the owner's destruction waits on every save ever started.
    class TSettThread final {
    public:
        TSettThread(std::function<void()> method);
        ~TSettThread();
        TSettThread(const TSettThread&) = delete;
        TSettThread& operator=(const TSettThread&) = delete;
        void WaitFor();

    private:
        std::function<void()> FMethod;
        std::thread FThread;
    };

    template <typename T>
    T LockedRead(const std::string& section, const std::string& key, const T& def);
    template <typename T>
    void LockedWrite(const std::string& section, const std::string& key, const T& value);

    std::mutex FThreadsLock;
    std::vector<std::unique_ptr<TSettThread>> FThreads;
    std::recursive_mutex FLock;
    std::unique_ptr<TSettMngr> FSett;
};
