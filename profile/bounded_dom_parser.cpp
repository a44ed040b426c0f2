#include "profile/bounded_dom_parser.h"

#include "profile/profile_xml_reader.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include <algorithm>
#include <new>

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
    if (isEmpty) {
        extendMemoryLimit();
        // The DOM parser ends an empty element itself, through endElement: that call must not
        // lower the depth, or every empty element would buy one more level of nesting.
        endingEmptyElement = true;
        XercesDOMParser::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount, isEmpty,
                                      isRoot);
        endingEmptyElement = false;
        return;
    }
    extendMemoryLimit();
    if (++depth > ProfileXmlReader::kMaxDepth)
        throw LimitExceeded{};
    if (depth == 2)
        profileBelowRoot = XMLString::equals(elemDecl.getFullName(), u"Profile");
    XercesDOMParser::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount, isEmpty,
                                  isRoot);
}

void BoundedDomParser::endElement(const XMLElementDecl& elemDecl, const unsigned int urlId,
                                  const bool isRoot, const XMLCh* const elemPrefix)
{
    if (!endingEmptyElement)
        --depth;
    XercesDOMParser::endElement(elemDecl, urlId, isRoot, elemPrefix);
}

void BoundedDomParser::docCharacters(const XMLCh* const chars, const XMLSize_t length,
                                     const bool cdataSection)
{
    contentChars += length;
    if (contentChars > ProfileXmlReader::kMaxContentChars)
        throw LimitExceeded{};
    extendMemoryLimit();
    if (isUnreadWhitespace(chars, length))
        return;
    XercesDOMParser::docCharacters(chars, length, cdataSection);
}

void BoundedDomParser::entityDecl(const DTDEntityDecl& entityDecl, const bool isPEDecl,
                                  const bool isIgnored)
{
    declaredEntityChars += entityDecl.getValueLen() + 1;
    if (declaredEntityChars > ProfileXmlReader::kMaxDeclaredEntityChars)
        throw LimitExceeded{};
    XercesDOMParser::entityDecl(entityDecl, isPEDecl, isIgnored);
}

void BoundedDomParser::extendMemoryLimit()
{
    if (budget == nullptr)
        return;
    try {
        const std::uint64_t read = getScanner()->getSrcOffset();
        const std::uint64_t allowed = kMemoryBase + kMemoryPerByte * read;
        budget->setLimit(static_cast<std::size_t>(std::min<std::uint64_t>(allowed, kMaxMemory)));
    } catch (const XMLException&) {
        // The reader of some encodings cannot tell its byte offset: the ceiling alone holds.
        budget->setLimit(kMaxMemory);
    }
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
