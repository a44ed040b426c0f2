#include "profile/profile_xml_reader.h"

#include "profile/profile.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLBuffer.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include <charconv>
#include <climits>
#include <cstddef>
#include <new>
#include <vector>
#include <cmath>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace xercesc;

namespace {

// XMLPlatformUtils::Initialize and Terminate are counted, and a parser deleted after the last
// Terminate crashes. The platform is therefore initialised once, on first use, and terminated
// only when static objects are destroyed at exit, after every reader (each reader touches this
// object in its constructor, so it is constructed first and destroyed last).
class XmlPlatform {
public:
    XmlPlatform()
    {
        try {
            XMLPlatformUtils::Initialize();
            ready = true;
        } catch (const XMLException&) {
        }
    }
    ~XmlPlatform()
    {
        if (ready)
            XMLPlatformUtils::Terminate();
    }
    XmlPlatform(const XmlPlatform&) = delete;
    XmlPlatform& operator=(const XmlPlatform&) = delete;
    bool ready = false;
};

XmlPlatform& xmlPlatform()
{
    static XmlPlatform platform;
    return platform;
}

struct LimitExceeded {};

// Counts what the parser reports; with exitOnFirstFatalError (the default) a fatal error also
// ends the parse. Without a handler the parser would return a partial tree without a word.
class ErrorCounter : public ErrorHandler {
public:
    void warning(const SAXParseException&) override {}
    void error(const SAXParseException&) override { ++errors; }
    void fatalError(const SAXParseException&) override { ++errors; }
    void resetErrors() override { errors = 0; }
    int errors = 0;
};

// Every external entity and DTD resolves to nothing: a profile file never reaches the network
// (the library links libcurl) or any other file.
class NoExternalResources : public XMLEntityResolver {
public:
    InputSource* resolveEntity(XMLResourceIdentifier*) override
    {
        static const XMLByte nothing[1] = {0};
        return new MemBufInputSource(nothing, 0, "velmora-empty-entity");
    }
};

// Keeps the big blocks of a released document for the next one. The DOM builds each document
// in large blocks that the C library hands back to the system when freed, so without this every
// file is built in fresh pages, each faulted in and zeroed again.
class RecyclingMemoryManager : public MemoryManager {
public:
    RecyclingMemoryManager() = default;
    RecyclingMemoryManager(const RecyclingMemoryManager&) = delete;
    RecyclingMemoryManager& operator=(const RecyclingMemoryManager&) = delete;
    ~RecyclingMemoryManager() override
    {
        for (Header* block : spare)
            ::operator delete(block);
    }

    MemoryManager* getExceptionMemoryManager() override { return XMLPlatformUtils::fgMemoryManager; }

    void* allocate(XMLSize_t size) override
    {
        if (size >= kRecycledBytes)
            for (auto it = spare.begin(); it != spare.end(); ++it)
                if ((*it)->size == size) {
                    Header* block = *it;
                    spare.erase(it);
                    spareBytes -= size;
                    return block + 1;
                }
        void* memory = ::operator new(sizeof(Header) + size, std::nothrow);
        if (memory == nullptr)
            throw OutOfMemoryException();
        Header* block = static_cast<Header*>(memory);
        block->size = size;
        return block + 1;
    }

    void deallocate(void* p) override
    {
        if (p == nullptr)
            return;
        Header* block = static_cast<Header*>(p) - 1;
        if (block->size >= kRecycledBytes && spareBytes + block->size <= kMaxSpareBytes) {
            spare.push_back(block);
            spareBytes += block->size;
            return;
        }
        ::operator delete(block);
    }

private:
    static constexpr std::size_t kRecycledBytes = 16u << 10;
    static constexpr std::size_t kMaxSpareBytes = 8u << 20;
    struct alignas(std::max_align_t) Header {
        std::size_t size;
    };
    std::vector<Header*> spare;
    std::size_t spareBytes = 0;
};

} // namespace

// The DOM parser with the limits a hostile file cannot get past.
class BoundedDomParser : public XercesDOMParser {
public:
    explicit BoundedDomParser(MemoryManager* memory) : XercesDOMParser(nullptr, memory)
    {
        setValidationScheme(Val_Never);
        setLoadExternalDTD(false);
        setDoNamespaces(false);
        setDoSchema(false);
        setCreateEntityReferenceNodes(false);
        setDisableDefaultEntityResolution(true);
        setXMLEntityResolver(&resolver);
        setErrorHandler(&errorCounter);
        security.setEntityExpansionLimit(ProfileXmlReader::kMaxEntityExpansions);
        setSecurityManager(&security);
    }

    void startElement(const XMLElementDecl& elemDecl, const unsigned int urlId,
                      const XMLCh* const elemPrefix, const RefVectorOf<XMLAttr>& attrList,
                      const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) override
    {
        if (!isEmpty && ++depth > ProfileXmlReader::kMaxDepth)
            throw LimitExceeded{};
        if (!isEmpty && depth == 2)
            profileBelowRoot = XMLString::equals(elemDecl.getFullName(), u"Profile");
        XercesDOMParser::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount, isEmpty,
                                      isRoot);
    }
    void endElement(const XMLElementDecl& elemDecl, const unsigned int urlId, const bool isRoot,
                    const XMLCh* const elemPrefix) override
    {
        --depth;
        XercesDOMParser::endElement(elemDecl, urlId, isRoot, elemPrefix);
    }
    void docCharacters(const XMLCh* const chars, const XMLSize_t length,
                       const bool cdataSection) override
    {
        contentChars += length;
        if (contentChars > ProfileXmlReader::kMaxContentChars)
            throw LimitExceeded{};
        if (isUnreadWhitespace(chars, length))
            return;
        XercesDOMParser::docCharacters(chars, length, cdataSection);
    }
    void entityDecl(const DTDEntityDecl& entityDecl, const bool isPEDecl,
                    const bool isIgnored) override
    {
        declaredEntityChars += entityDecl.getValueLen() + 1;
        if (declaredEntityChars > ProfileXmlReader::kMaxDeclaredEntityChars)
            throw LimitExceeded{};
        XercesDOMParser::entityDecl(entityDecl, isPEDecl, isIgnored);
    }

    // Ready for the next document: counters back to zero, the previous document released.
    void prepare()
    {
        resetDocumentPool();
        errorCounter.resetErrors();
        depth = 0;
        profileBelowRoot = false;
        contentChars = 0;
        declaredEntityChars = 0;
    }
    int errorCount() const { return errorCounter.errors; }

private:
    // The line breaks and indents between a profile file's elements would make half the
    // nodes of its tree. Blank text directly inside the root element, or inside a "Profile"
    // element just below it, is never part of a text the profile is read from (only the
    // children of "Profile" elements are read), so it is left out of the tree.
    bool isUnreadWhitespace(const XMLCh* chars, XMLSize_t length) const
    {
        if (depth != 1 && !(depth == 2 && profileBelowRoot))
            return false;
        for (XMLSize_t i = 0; i < length; ++i)
            if (chars[i] != u' ' && chars[i] != u'\t' && chars[i] != u'\r' && chars[i] != u'\n')
                return false;
        return true;
    }

    ErrorCounter errorCounter;
    NoExternalResources resolver;
    SecurityManager security;
    int depth = 0;
    bool profileBelowRoot = false; // the open element at depth 2 is named "Profile"
    std::size_t contentChars = 0;
    std::size_t declaredEntityChars = 0;
};

namespace {

// The whole file, when it is a regular file of at most kMaxFileBytes. Opened without blocking
// so a FIFO that happens to be named *.xml cannot stall the caller.
std::optional<std::string> readWholeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> content;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uint64_t>(info.st_size) <= ProfileXmlReader::kMaxFileBytes) {
        std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        if (done == bytes.size())
            content = std::move(bytes);
    }
    ::close(fd);
    return content;
}

std::string utf8(const XMLCh* text)
{
    if (text == nullptr || *text == 0)
        return {};
    TranscodeToStr bytes(text, "UTF-8");
    return std::string(reinterpret_cast<const char*>(bytes.str()), bytes.length());
}

// Numbers are ASCII: other characters become a byte that is neither a digit nor a blank.
std::string ascii(const XMLCh* text)
{
    std::string out;
    for (; text != nullptr && *text != 0; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '\x80';
    return out;
}

// The element's text content, as the DOM's getTextContent gives it, without building a copy
// in the common case of a single text child.
const XMLCh* textOf(const DOMElement& element)
{
    const DOMNode* first = element.getFirstChild();
    if (first == nullptr)
        return u"";
    if (first->getNodeType() == DOMNode::TEXT_NODE && first->getNextSibling() == nullptr)
        return first->getNodeValue();
    return element.getTextContent();
}

std::optional<std::string> attribute(const DOMElement& element, const XMLCh* name)
{
    const DOMAttr* node = element.getAttributeNode(name);
    if (node == nullptr)
        return std::nullopt;
    return ascii(node->getValue());
}

// The longest leading decimal number (blanks skipped, optional sign, digits, fraction,
// exponent); 0 when there is none. Nothing when the number is beyond a double's range.
std::optional<double> readDecimalAmount(const std::string& text)
{
    std::size_t pos = text.find_first_not_of(" \t\n\v\f\r");
    if (pos == std::string::npos)
        return 0.0;
    const std::size_t signPos = pos;
    if (text[pos] == '+' || text[pos] == '-')
        ++pos;
    const std::size_t start = pos;
    const auto digitsFrom = [&](std::size_t from) {
        std::size_t end = from;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        return end;
    };
    std::size_t end = digitsFrom(start);
    bool anyDigit = end > start;
    if (end < text.size() && text[end] == '.') {
        const std::size_t fractionEnd = digitsFrom(end + 1);
        anyDigit = anyDigit || fractionEnd > end + 1;
        end = fractionEnd;
    }
    if (!anyDigit)
        return 0.0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exponent = end + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
            ++exponent;
        const std::size_t exponentEnd = digitsFrom(exponent);
        if (exponentEnd > exponent)
            end = exponentEnd;
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data() + start, text.data() + end, value);
    if (result.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return text[signPos] == '-' ? -value : value;
}

std::optional<bool> allowOf(const DOMElement& element)
{
    const std::optional<std::string> allow = attribute(element, u"allow");
    if (!allow)
        return std::nullopt;
    return readDecimalInteger(*allow) != 0;
}

void readDayRecord(const DOMElement& element, bool isDownload, CProfile& profile)
{
    const std::optional<std::string> y = attribute(element, u"y");
    const std::optional<std::string> m = attribute(element, u"m");
    const std::optional<std::string> d = attribute(element, u"d");
    if (!y || !m || !d)
        return;
    const long long year = readDecimalInteger(*y);
    const long long month = readDecimalInteger(*m);
    const long long day = readDecimalInteger(*d);
    if (year < INT32_MIN || year > INT32_MAX || month < 0 || month > 11 || day < 0 ||
        day >= YearHistory::kDaysPerMonth)
        return;
    const std::optional<double> amount = readDecimalAmount(ascii(textOf(element)));
    if (!amount)
        return;
    YearHistory* record = profile.findYear(static_cast<int>(year));
    if (record == nullptr) {
        if (profile.history.size() >= ProfileXmlReader::kMaxYears)
            return;
        record = &profile.yearRecord(static_cast<int>(year));
    }
    DayTotals& slot = record->days[YearHistory::slotOf(static_cast<int>(month),
                                                       static_cast<int>(day) + 1)];
    (isDownload ? slot.down : slot.up) = *amount;
}

void readProfileElement(const DOMElement& profileElement, CProfile& profile)
{
    profile.history.clear();
    for (const DOMNode* node = profileElement.getFirstChild(); node != nullptr;
         node = node->getNextSibling()) {
        if (node->getNodeType() != DOMNode::ELEMENT_NODE)
            continue;
        const auto& element = static_cast<const DOMElement&>(*node);
        const XMLCh* tag = element.getTagName();
        if (XMLString::equals(tag, u"down") || XMLString::equals(tag, u"up")) {
            readDayRecord(element, tag[0] == u'd', profile);
        } else if (XMLString::equals(tag, u"name")) {
            profile.setName(utf8(textOf(element)));
        } else if (XMLString::equals(tag, u"ip")) {
            profile.setIp(utf8(textOf(element)));
        } else if (XMLString::equals(tag, u"ipFilter")) {
            if (const std::optional<bool> allow = allowOf(element))
                profile.addIpFilter(utf8(textOf(element)), *allow);
        } else if (XMLString::equals(tag, u"portFilter")) {
            if (const std::optional<bool> allow = allowOf(element))
                profile.addPortFilter(*allow,
                                      readDecimalInteger(ascii(textOf(element))));
        }
    }
}

// Every "Profile" element of the document, at any depth, in document order (what the DOM's
// getElementsByTagName lists), walked once without building the list.
void readProfileElements(const DOMDocument& document, CProfile& profile)
{
    const DOMNode* root = document.getDocumentElement();
    const DOMNode* node = root;
    while (node != nullptr) {
        if (node->getNodeType() == DOMNode::ELEMENT_NODE &&
            XMLString::equals(static_cast<const DOMElement*>(node)->getTagName(), u"Profile"))
            readProfileElement(static_cast<const DOMElement&>(*node), profile);
        if (const DOMNode* child = node->getFirstChild()) {
            node = child;
            continue;
        }
        while (node != nullptr && node != root && node->getNextSibling() == nullptr)
            node = node->getParentNode();
        node = node == nullptr || node == root ? nullptr : node->getNextSibling();
    }
}

} // namespace

ProfileXmlReader::ProfileXmlReader()
{
    xmlPlatform();
    memory = std::make_unique<RecyclingMemoryManager>();
}

ProfileXmlReader::~ProfileXmlReader() = default;

bool ProfileXmlReader::platformReady()
{
    return xmlPlatform().ready;
}

bool ProfileXmlReader::read(const std::string& path, CProfile& profile)
{
    if (!platformReady())
        return false;
    const std::optional<std::string> content = readWholeFile(path);
    if (!content)
        return false;
    bool accepted = false;
    bool finished = false;
    try {
        if (!parser)
            parser = std::make_unique<BoundedDomParser>(memory.get());
        parser->prepare();
        const MemBufInputSource source(reinterpret_cast<const XMLByte*>(content->data()),
                                       content->size(), "velmora-profile");
        parser->parse(source);
        const DOMDocument* document = parser->getDocument();
        if (parser->errorCount() == 0 && document != nullptr) {
            // Read into a copy so that a failure half-way leaves the profile as it was.
            CProfile result = profile;
            readProfileElements(*document, result);
            profile = std::move(result);
            accepted = true;
        }
        parser->resetDocumentPool();
        finished = true;
    } catch (...) {
        // Malformed beyond what the error handler reports, over a limit, or out of memory.
    }
    if (!finished)
        parser.reset(); // a parse left half-way is not trusted with the next file
    return accepted;
}
