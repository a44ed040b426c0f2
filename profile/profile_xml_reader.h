#pragma once
// Reads a profile file into a CProfile through the Xerces-C DOM parser.

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>
#include <memory>
#include <string>

class CProfile;
class BoundedDomParser;
XERCES_CPP_NAMESPACE_BEGIN
class MemoryManager;
XERCES_CPP_NAMESPACE_END

class ProfileXmlReader {
public:
    // Largest file read at all: a year of full day history takes about 30 KB, ten years about
    // 300 KB. Whatever a file this size holds, its tree stays under the parser's memory
    // ceiling (BoundedDomParser::kMaxMemory).
    static constexpr std::size_t kMaxFileBytes = 4u << 20;
    // Deepest element nesting accepted (profile files nest three deep).
    static constexpr int kMaxDepth = 64;
    // Characters of element content, entity replacements included, accepted in one document.
    static constexpr std::size_t kMaxContentChars = 32u << 20;
    // Entity references a document may expand, and characters its entity declarations may hold.
    static constexpr std::size_t kMaxEntityExpansions = 1000;
    static constexpr std::size_t kMaxDeclaredEntityChars = 64u << 10;
    // Year records one profile may gather from a file.
    static constexpr std::size_t kMaxYears = 1000;

    // Makes sure the XML platform is initialised; it stays so until the process ends.
    ProfileXmlReader();
    ~ProfileXmlReader();
    ProfileXmlReader(const ProfileXmlReader&) = delete;
    ProfileXmlReader& operator=(const ProfileXmlReader&) = delete;

    // Parses the file at `path` and, when the parser accepts it, reads it over `profile` and
    // returns true. A file that is missing, not a regular file, too large, not well-formed, not
    // in its declared encoding or over one of the limits above leaves `profile` untouched, and
    // failure() then says why ("larger than 4 MiB", "rejected by the XML parser at line 3, column 7: ...").
    bool read(const std::string& path, CProfile& profile);
    const std::string& failure() const { return lastFailure; }

    // False when the XML platform could not be initialised; every read then fails.
    static bool platformReady();

private:
    // The parser's memory, declared first so that it outlives the parser.
    std::unique_ptr<XERCES_CPP_NAMESPACE::MemoryManager> memory;
    // Made at the first read and kept for the next ones (a read that ended in an exception
    // drops it); no document outlives a read.
    std::unique_ptr<BoundedDomParser> parser;
    std::string lastFailure;
};
