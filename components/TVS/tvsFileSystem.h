// Reading text files the way pages, templates and scripts are read: the
// encoding is guessed from the bytes and line breaks are made uniform, so the
// line numbers the compiler reports match what the author sees. Also the file
// systems through which the compiler and running programs reach files.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "tvsExceptions.h"
#include "tvsVariant.h"

// A file could not be opened: missing, a folder, no permission.
class EFOpenError final : public EStreamError {
public:
    using EStreamError::EStreamError;
    const char16_t* ClassName() const override { return u"EFOpenError"; }
};

// A file was opened but reading it failed part way.
class EReadError final : public EStreamError {
public:
    using EStreamError::EStreamError;
    const char16_t* ClassName() const override { return u"EReadError"; }
};

// The whole file as bytes. Raises EFOpenError or EReadError with the file
// name and the system's reason.
std::string ReadFileBytes(const std::filesystem::path& fileName);

// Turns file bytes into UTF-16 text. A byte-order mark selects UTF-8,
// UTF-16 LE or UTF-16 BE and is dropped; without one the bytes are read as
// UTF-8 when they are valid UTF-8, else as Latin-1, so every byte means
// something and no file is refused. Broken sequences after a byte-order mark
// become U+FFFD.
std::u16string DecodeText(std::string_view bytes);

// Splits at CR LF, CR or LF and joins the lines again with CR LF, with a
// CR LF after the last line; a trailing line break does not add an empty
// line, and an empty text stays empty.
std::u16string JoinLinesWithCRLF(std::u16string_view text);

// ReadFileBytes, DecodeText and JoinLinesWithCRLF in one step: the text of a
// page or script file as the compiler should see it.
std::u16string LoadTextFile(const std::filesystem::path& fileName);

// UTF-16 text as UTF-8 bytes for writing out; an unpaired surrogate becomes
// U+FFFD instead of producing bytes no reader accepts.
std::string TextToUTF8(std::u16string_view text);

// How the compiler and running programs reach files. Hosts can put their own
// file system in place of the operating system's, for example to keep
// scripts inside one folder: ValidateFileName is where such a rule goes.
class TtvsBaseFileSystem : public TRefCountedObject {
public:
    // Modes of OpenFileStream.
    static constexpr int fmOpenRead = 0;  // read; others may read too
    static constexpr int fmCreate = 1;    // create or empty, read and write
    static constexpr int fmCreateNew = 2; // as fmCreate

    virtual bool FileExists(const std::u16string& fileName) = 0;
    // Raises EFOpenError when the file cannot be opened as asked, and
    // EAssertionFailed for a mode not listed above.
    virtual std::unique_ptr<std::fstream> OpenFileStream(const std::u16string& fileName,
                                                         int mode) = 0;
    virtual std::u16string ValidateFileName(const std::u16string& fileName) = 0;
};

using ItvsFileSystem = TRefPtr<TtvsBaseFileSystem>;

// The operating system's files, names taken as they are.
class TtvsOSFileSystem : public TtvsBaseFileSystem {
public:
    bool FileExists(const std::u16string& fileName) override;
    std::unique_ptr<std::fstream> OpenFileStream(const std::u16string& fileName, int mode) override;
    std::u16string ValidateFileName(const std::u16string& fileName) override;
};

// What a configuration links to: it hands out the file system to use. The
// compiler and the execution create a TtvsOSFileSystem when none is linked.
class TtvsCustomFileSystem {
public:
    virtual ~TtvsCustomFileSystem() = default;
    virtual ItvsFileSystem AllocateFileSystem() = 0;
};

// A text file read through a file system, by the same rules as LoadTextFile.
std::u16string LoadTextFile(TtvsBaseFileSystem& fileSystem, const std::u16string& fileName);
