#include "profile/bounded_dom_parser.h"

#include "profile/profile_xml_reader.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include <algorithm>
#include <cstring>
#include <new>

using namespace xercesc;

namespace {

// The texts of LimitExceeded name these numbers.
static_assert(ProfileXmlReader::kMaxDepth == 64 && ProfileXmlReader::kMaxContentChars == 32u << 20 &&
              ProfileXmlReader::kMaxDeclaredEntityChars == 64u << 10);

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

// A document in memory that counts the bytes the scanner has taken from it. The scanner can
// tell its own offset only by throwing for most encodings, UTF-8 among them.
class CountingStream : public BinInputStream {
public:
    CountingStream(std::string_view content, std::uint64_t& taken) : content(content), taken(taken) {}
    XMLFilePos curPos() const override { return taken; }
    XMLSize_t readBytes(XMLByte* const toFill, const XMLSize_t maxToRead) override
    {
        const XMLSize_t count = std::min<XMLSize_t>(maxToRead, content.size() - taken);
        std::memcpy(toFill, content.data() + taken, count);
        taken += count;
        return count;
    }
    const XMLCh* getContentType() const override { return nullptr; }

private:
    std::string_view content;
    std::uint64_t& taken;
};

class CountingSource : public InputSource {
public:
    CountingSource(std::string_view content, std::uint64_t& taken)
        : InputSource("velmora-profile"), content(content), taken(taken)
    {
    }
    BinInputStream* makeStream() const override { return new CountingStream(content, taken); }

private:
    std::string_view content;
    std::uint64_t& taken;
};

} // namespace

bool xmlPlatformReady()
{
    static XmlPlatform platform;
    return platform.ready;
}

RecyclingMemoryManager::~RecyclingMemoryManager()
{
    for (Header* block : spare)
        ::operator delete(block);
}

MemoryManager* RecyclingMemoryManager::getExceptionMemoryManager()
{
    return XMLPlatformUtils::fgMemoryManager;
}

void* RecyclingMemoryManager::allocate(XMLSize_t size)
{
    if (size > limit || held > limit - size)
        throw OutOfMemoryException();
    if (size >= kRecycledBytes)
        for (auto it = spare.begin(); it != spare.end(); ++it)
            if ((*it)->size == size) {
                Header* block = *it;
                spare.erase(it);
                spareBytes -= size;
                held += size;
                return block + 1;
            }
    void* memory = ::operator new(sizeof(Header) + size, std::nothrow);
    if (memory == nullptr)
        throw OutOfMemoryException();
    Header* block = static_cast<Header*>(memory);
    block->size = size;
    held += size;
    return block + 1;
}

void RecyclingMemoryManager::deallocate(void* p)
{
    if (p == nullptr)
        return;
    Header* block = static_cast<Header*>(p) - 1;
    held -= block->size;
    if (block->size >= kRecycledBytes && spareBytes + block->size <= kMaxSpareBytes) {
        spare.push_back(block);
        spareBytes += block->size;
        return;
    }
    ::operator delete(block);
}

void ErrorCounter::count(const SAXParseException& error)
{
    if (errors++ > 0)
        return;
    first = "line " + std::to_string(error.getLineNumber()) + ", column " +
            std::to_string(error.getColumnNumber()) + ": ";
    if (const XMLCh* message = error.getMessage(); message != nullptr && *message != 0) {
        const TranscodeToStr text(message, "UTF-8");
        first.append(reinterpret_cast<const char*>(text.str()), text.length());
    }
}

InputSource* NoExternalResources::resolveEntity(XMLResourceIdentifier*)
{
    static const XMLByte nothing[1] = {0};
    return new MemBufInputSource(nothing, 0, "velmora-empty-entity");
}

BoundedDomParser::BoundedDomParser(MemoryManager* memory)
    : XercesDOMParser(nullptr, memory), budget(dynamic_cast<RecyclingMemoryManager*>(memory))
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

void BoundedDomParser::startElement(const XMLElementDecl& elemDecl, const unsigned int urlId,
                                    const XMLCh* const elemPrefix,
                                    const RefVectorOf<XMLAttr>& attrList,
                                    const XMLSize_t attrCount, const bool isEmpty,
                                    const bool isRoot)
{
    extendMemoryLimit();
    const XMLCh* name = elemDecl.getFullName();
    if (recordDepth > 0) {
        // Inside a day record left out of the tree: nothing of it may reach the tree.
        recordHeldMore = true;
        if (!isEmpty && ++depth > ProfileXmlReader::kMaxDepth)
            throw LimitExceeded{"elements nested deeper than 64"};
        return;
    }
    if (daySink && depth == 2 && profileBelowRoot &&
        (XMLString::equals(name, u"down") || XMLString::equals(name, u"up"))) {
        recordDownload = name[0] == u'd';
        recordText.clear();
        static const XMLCh* const kNames[3] = {u"y", u"m", u"d"};
        for (int i = 0; i < 3; ++i)
            recordHas[i] = false;
        for (XMLSize_t a = 0; a < attrCount; ++a) {
            const XMLAttr* attribute = attrList.elementAt(a);
            for (int i = 0; i < 3; ++i)
                if (XMLString::equals(attribute->getQName(), kNames[i])) {
                    recordAttributes[i] = attribute->getValue();
                    recordHas[i] = true;
                }
        }
        if (isEmpty) {
            endDayRecord();
            return;
        }
        if (++depth > ProfileXmlReader::kMaxDepth)
            throw LimitExceeded{"elements nested deeper than 64"};
        recordDepth = depth;
        return;
    }
    const bool isProfile = XMLString::equals(name, u"Profile");
    const std::size_t profileIndex = profileElements;
    if (isProfile)
        ++profileElements;
    if (isEmpty) {
        // The DOM parser ends an empty element itself, through endElement: that call must not
        // lower the depth, or every empty element would buy one more level of nesting.
        endingEmptyElement = true;
        XercesDOMParser::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount, isEmpty,
                                      isRoot);
        endingEmptyElement = false;
        return;
    }
    if (++depth > ProfileXmlReader::kMaxDepth)
        throw LimitExceeded{"elements nested deeper than 64"};
    if (depth == 2) {
        profileBelowRoot = isProfile;
        profileBelowRootIndex = profileIndex;
    }
    XercesDOMParser::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount, isEmpty,
                                  isRoot);
}

void BoundedDomParser::endElement(const XMLElementDecl& elemDecl, const unsigned int urlId,
                                  const bool isRoot, const XMLCh* const elemPrefix)
{
    if (recordDepth > 0) {
        if (depth-- == recordDepth) {
            recordDepth = 0;
            endDayRecord();
        }
        return;
    }
    if (!endingEmptyElement)
        --depth;
    XercesDOMParser::endElement(elemDecl, urlId, isRoot, elemPrefix);
}

void BoundedDomParser::endDayRecord()
{
    daySink(DayRecord{profileBelowRootIndex, recordDownload,
                      recordHas[0] ? recordAttributes[0].c_str() : nullptr,
                      recordHas[1] ? recordAttributes[1].c_str() : nullptr,
                      recordHas[2] ? recordAttributes[2].c_str() : nullptr, recordText.c_str()});
}

void BoundedDomParser::docCharacters(const XMLCh* const chars, const XMLSize_t length,
                                     const bool cdataSection)
{
    contentChars += length;
    if (contentChars > ProfileXmlReader::kMaxContentChars)
        throw LimitExceeded{"more than 32 Mi characters of text"};
    extendMemoryLimit();
    if (recordDepth > 0) {
        recordText.append(chars, length);
        return;
    }
    if (isUnreadWhitespace(chars, length))
        return;
    XercesDOMParser::docCharacters(chars, length, cdataSection);
}

void BoundedDomParser::ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length,
                                           const bool cdataSection)
{
    if (recordDepth > 0)
        docCharacters(chars, length, cdataSection);
    else
        XercesDOMParser::ignorableWhitespace(chars, length, cdataSection);
}

void BoundedDomParser::docComment(const XMLCh* const comment)
{
    if (recordDepth > 0)
        recordHeldMore = true;
    else
        XercesDOMParser::docComment(comment);
}

void BoundedDomParser::docPI(const XMLCh* const target, const XMLCh* const data)
{
    if (recordDepth > 0)
        recordHeldMore = true;
    else
        XercesDOMParser::docPI(target, data);
}

void BoundedDomParser::entityDecl(const DTDEntityDecl& entityDecl, const bool isPEDecl,
                                  const bool isIgnored)
{
    declaredEntityChars += entityDecl.getValueLen() + 1;
    if (declaredEntityChars > ProfileXmlReader::kMaxDeclaredEntityChars)
        throw LimitExceeded{"entity declarations of more than 64 Ki characters"};
    XercesDOMParser::entityDecl(entityDecl, isPEDecl, isIgnored);
}

// The bytes the scanner has taken run ahead of what it has scanned by at most one buffer
// (48 KiB), so a document gets a little more than its share early on.
void BoundedDomParser::extendMemoryLimit()
{
    if (budget == nullptr)
        return;
    const std::uint64_t allowed = kMemoryBase + kMemoryPerByte * bytesTaken;
    budget->setLimit(static_cast<std::size_t>(std::min<std::uint64_t>(allowed, kMaxMemory)));
}

void BoundedDomParser::parseBytes(std::string_view content)
{
    bytesTaken = 0;
    const CountingSource source(content, bytesTaken);
    parse(source);
}

void BoundedDomParser::prepare()
{
    resetDocumentPool();
    if (budget != nullptr)
        budget->setLimit(kMemoryBase);
    errorCounter.resetErrors();
    depth = 0;
    endingEmptyElement = false;
    profileBelowRoot = false;
    contentChars = 0;
    declaredEntityChars = 0;
    profileElements = 0;
    profileBelowRootIndex = 0;
    recordDepth = 0;
    recordHeldMore = false;
}

// The line breaks and indents between a profile file's elements would make half the nodes of
// its tree. Blank text directly inside the root element, or inside a "Profile" element just
// below it, is never part of a text the profile is read from (only the children of "Profile"
// elements are read), so it is left out of the tree.
bool BoundedDomParser::isUnreadWhitespace(const XMLCh* chars, XMLSize_t length) const
{
    if (depth != 1 && !(depth == 2 && profileBelowRoot))
        return false;
    for (XMLSize_t i = 0; i < length; ++i)
        if (chars[i] != u' ' && chars[i] != u'\t' && chars[i] != u'\r' && chars[i] != u'\n')
            return false;
    return true;
}
