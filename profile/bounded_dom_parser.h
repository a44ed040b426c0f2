#pragma once
// Xerces' DOM parser set up for profile files: nothing fetched from outside the file, errors
// counted, and limits a hostile file cannot get past.

#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Initialises the XML platform on first use; false when that failed. It stays initialised
// until static objects are destroyed at exit.
bool xmlPlatformReady();

// Thrown from the parser's callbacks when a document goes over a limit; ends the parse.
struct LimitExceeded {
    const char* what; // the limit, as the reader reports it
};

// Keeps the big blocks of a released document for the next one. The DOM builds each document
// in large blocks that the C library hands back to the system when freed, so without this
// every file is built in fresh pages, each faulted in and zeroed again. One thread only.
class RecyclingMemoryManager : public XERCES_CPP_NAMESPACE::MemoryManager {
public:
    RecyclingMemoryManager() = default;
    RecyclingMemoryManager(const RecyclingMemoryManager&) = delete;
    RecyclingMemoryManager& operator=(const RecyclingMemoryManager&) = delete;
    ~RecyclingMemoryManager() override;

    XERCES_CPP_NAMESPACE::MemoryManager* getExceptionMemoryManager() override;
    // Throws OutOfMemoryException when the bytes in use would exceed the limit: the parse
    // ends and the file is refused.
    void* allocate(XMLSize_t size) override;
    void deallocate(void* p) override;

    void setLimit(std::size_t bytes) { limit = bytes; }
    std::size_t heldBytes() const { return held; }

private:
    static constexpr std::size_t kRecycledBytes = 16u << 10;
    static constexpr std::size_t kMaxSpareBytes = 8u << 20;
    struct alignas(std::max_align_t) Header {
        std::size_t size;
    };
    std::vector<Header*> spare;
    std::size_t spareBytes = 0;
    std::size_t held = 0; // in use (spare blocks not counted)
    std::size_t limit = SIZE_MAX;
};

// Counts what the parser reports and keeps the first report ("line 3, column 7: ..."); with
// exitOnFirstFatalError (the default) a fatal error also ends the parse. Without a handler the
// parser would return a partial tree without a word.
class ErrorCounter : public XERCES_CPP_NAMESPACE::ErrorHandler {
public:
    void warning(const XERCES_CPP_NAMESPACE::SAXParseException&) override {}
    void error(const XERCES_CPP_NAMESPACE::SAXParseException& error) override { count(error); }
    void fatalError(const XERCES_CPP_NAMESPACE::SAXParseException& error) override { count(error); }
    void resetErrors() override
    {
        errors = 0;
        first.clear();
    }
    int errors = 0;
    std::string first;

private:
    void count(const XERCES_CPP_NAMESPACE::SAXParseException& error);
};

// Every external entity and DTD resolves to nothing: a profile file never reaches the network
// (the library links libcurl) or any other file.
class NoExternalResources : public XERCES_CPP_NAMESPACE::XMLEntityResolver {
public:
    XERCES_CPP_NAMESPACE::InputSource* resolveEntity(
        XERCES_CPP_NAMESPACE::XMLResourceIdentifier*) override;
};

// The DOM parser with the limits of ProfileXmlReader (no validation, no external DTD,
// entity expansion bounded by the library's SecurityManager, nesting depth, content size and
// declared entity text bounded by the callbacks below, which throw LimitExceeded). Given a
// RecyclingMemoryManager, it also bounds the memory a document takes: a file of many tiny
// elements would otherwise cost some sixty times its size in DOM nodes.
class BoundedDomParser : public XERCES_CPP_NAMESPACE::XercesDOMParser {
public:
    // Memory the parse may hold: kMemoryBase, plus kMemoryPerByte for each byte of the file
    // read so far, and never more than kMaxMemory. A real profile (ten years of days, about
    // 300 KB) takes a tenth of its share.
    static constexpr std::size_t kMemoryBase = 4u << 20;
    static constexpr std::size_t kMemoryPerByte = 64;
    static constexpr std::size_t kMaxMemory = 256u << 20;

    explicit BoundedDomParser(XERCES_CPP_NAMESPACE::MemoryManager* memory);

    void startElement(const XERCES_CPP_NAMESPACE::XMLElementDecl& elemDecl,
                      const unsigned int urlId, const XMLCh* const elemPrefix,
                      const XERCES_CPP_NAMESPACE::RefVectorOf<XERCES_CPP_NAMESPACE::XMLAttr>& attrList,
                      const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) override;
    void endElement(const XERCES_CPP_NAMESPACE::XMLElementDecl& elemDecl, const unsigned int urlId,
                    const bool isRoot, const XMLCh* const elemPrefix) override;
    void docCharacters(const XMLCh* const chars, const XMLSize_t length,
                       const bool cdataSection) override;
    void entityDecl(const XERCES_CPP_NAMESPACE::DTDEntityDecl& entityDecl, const bool isPEDecl,
                    const bool isIgnored) override;
    void ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length,
                             const bool cdataSection) override;
    void docComment(const XMLCh* const comment) override;
    void docPI(const XMLCh* const target, const XMLCh* const data) override;

    // A "down" or "up" element directly inside a "Profile" element just below the root: a day
    // record of a profile file. They are nearly all of its elements, and building their nodes
    // (an element, three attributes, two text nodes each) was most of the cost of a parse.
    struct DayRecord {
        std::size_t profile; // which "Profile" element holds it: 0 for the first in document order
        bool download;       // a "down" element
        const XMLCh* y;      // the attributes; null when missing
        const XMLCh* m;
        const XMLCh* d;
        const XMLCh* text;   // its text content
    };
    using DayRecordSink = std::function<void(const DayRecord&)>;
    // Given a sink, day records go to it, in document order, and are left out of the tree.
    void setDayRecordSink(DayRecordSink sink) { daySink = std::move(sink); }
    // False when a day record left out of the tree held more than text (an element, a comment,
    // a processing instruction): the document must then be read again without a sink.
    bool treeComplete() const { return !recordHeldMore; }

    // Ready for the next document: counters back to zero, the previous document released.
    void prepare();
    // Parses the document held in `content`, which must outlive the parse.
    void parseBytes(std::string_view content);
    int errorCount() const { return errorCounter.errors; }
    // The parser's first error report, empty when there was none.
    const std::string& firstError() const { return errorCounter.first; }

private:
    bool isUnreadWhitespace(const XMLCh* chars, XMLSize_t length) const;
    // Raises the memory limit to what the bytes read so far allow.
    void extendMemoryLimit();

    RecyclingMemoryManager* budget; // null when the memory manager is not ours

    ErrorCounter errorCounter;
    NoExternalResources resolver;
    XERCES_CPP_NAMESPACE::SecurityManager security;
    int depth = 0; // elements open at this point of the document
    bool endingEmptyElement = false; // inside startElement of an empty element
    bool profileBelowRoot = false; // the open element at depth 2 is named "Profile"
    std::size_t contentChars = 0;
    std::size_t declaredEntityChars = 0;
    std::uint64_t bytesTaken = 0; // of the document, by the scanner so far

    void endDayRecord();
    DayRecordSink daySink;
    std::size_t profileElements = 0; // "Profile" elements started so far
    std::size_t profileBelowRootIndex = 0; // the open one at depth 2, counted as above
    int recordDepth = 0; // depth of the day record being read; 0 outside one
    bool recordDownload = false;
    bool recordHeldMore = false;
    std::u16string recordText;
    std::u16string recordAttributes[3]; // y, m, d
    bool recordHas[3] = {};
};
