#include "profile/profile_xml_reader.h"

#include "base/bounded_file.h"
#include "profile/bounded_dom_parser.h"
#include "profile/profile.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/TransService.hpp>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

using namespace xercesc;

namespace {

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

const XMLCh* attributeValue(const DOMElement& element, const XMLCh* name)
{
    const DOMAttr* node = element.getAttributeNode(name);
    return node == nullptr ? nullptr : node->getValue();
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

// A day record as the file gives it; nothing when it is to be dropped (an attribute missing, a
// date out of range, an amount beyond a double).
struct DayAmount {
    bool download;
    int year;
    int slot;
    double amount;
};

std::optional<DayAmount> dayAmountOf(bool download, const XMLCh* y, const XMLCh* m, const XMLCh* d,
                                     const XMLCh* text)
{
    if (y == nullptr || m == nullptr || d == nullptr)
        return std::nullopt;
    const long long year = readDecimalInteger(ascii(y));
    const long long month = readDecimalInteger(ascii(m));
    const long long day = readDecimalInteger(ascii(d));
    if (year < INT32_MIN || year > INT32_MAX || month < 0 || month > 11 || day < 0 ||
        day >= YearHistory::kDaysPerMonth)
        return std::nullopt;
    const std::optional<double> amount = readDecimalAmount(ascii(text));
    if (!amount)
        return std::nullopt;
    return DayAmount{download, static_cast<int>(year),
                     YearHistory::slotOf(static_cast<int>(month), static_cast<int>(day) + 1), *amount};
}

void addDayAmount(const DayAmount& day, CProfile& profile)
{
    YearHistory* record = profile.findYear(day.year);
    if (record == nullptr) {
        if (profile.history.size() >= ProfileXmlReader::kMaxYears)
            return;
        record = &profile.yearRecord(day.year);
    }
    DayTotals& slot = record->days[day.slot];
    (day.download ? slot.down : slot.up) = day.amount;
}

void readDayRecord(const DOMElement& element, bool isDownload, CProfile& profile)
{
    if (const std::optional<DayAmount> day =
            dayAmountOf(isDownload, attributeValue(element, u"y"), attributeValue(element, u"m"),
                        attributeValue(element, u"d"), textOf(element)))
        addDayAmount(*day, profile);
}

// The day records the parser left out of the tree, by the index of the "Profile" element that
// holds them, in document order.
using TakenDays = std::vector<std::pair<std::size_t, DayAmount>>;

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
// getElementsByTagName lists), walked once without building the list; each with the day
// records the parser took out of its tree.
void readProfileElements(const DOMDocument& document, const TakenDays& days, CProfile& profile)
{
    const DOMNode* root = document.getDocumentElement();
    const DOMNode* node = root;
    std::size_t profileIndex = 0;
    std::size_t nextDay = 0;
    while (node != nullptr) {
        if (node->getNodeType() == DOMNode::ELEMENT_NODE &&
            XMLString::equals(static_cast<const DOMElement*>(node)->getTagName(), u"Profile")) {
            readProfileElement(static_cast<const DOMElement&>(*node), profile);
            for (; nextDay < days.size() && days[nextDay].first <= profileIndex; ++nextDay)
                if (days[nextDay].first == profileIndex)
                    addDayAmount(days[nextDay].second, profile);
            ++profileIndex;
        }
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
    xmlPlatformReady();
    memory = std::make_unique<RecyclingMemoryManager>();
}

ProfileXmlReader::~ProfileXmlReader() = default;

bool ProfileXmlReader::platformReady()
{
    return xmlPlatformReady();
}

bool ProfileXmlReader::read(const std::string& path, CProfile& profile)
{
    lastFailure.clear();
    if (!platformReady()) {
        lastFailure = "the XML library could not be initialised";
        return false;
    }
    // Read without blocking, so that a FIFO that happens to be named *.xml cannot stall the
    // caller; a link is followed, as a user may keep a profile elsewhere.
    const std::optional<std::string> content =
        readBoundedFile(path, {.maxBytes = kMaxFileBytes, .followLinks = true, .sizeInMiB = true}, lastFailure);
    if (!content)
        return false;
    bool accepted = false;
    bool finished = false;
    try {
        if (!parser)
            parser = std::make_unique<BoundedDomParser>(memory.get());
        // Day records straight from the parser; a file whose records hold more than text (never
        // one this program wrote) is parsed a second time, into a whole tree.
        TakenDays days;
        parser->setDayRecordSink([&days](const BoundedDomParser::DayRecord& record) {
            if (const std::optional<DayAmount> day =
                    dayAmountOf(record.download, record.y, record.m, record.d, record.text))
                days.emplace_back(record.profile, *day);
        });
        parser->prepare();
        parser->parseBytes(*content);
        if (parser->errorCount() == 0 && !parser->treeComplete()) {
            days.clear();
            parser->setDayRecordSink(nullptr);
            parser->prepare();
            parser->parseBytes(*content);
        }
        parser->setDayRecordSink(nullptr);
        const DOMDocument* document = parser->getDocument();
        if (parser->errorCount() == 0 && document != nullptr) {
            // Read into a copy so that a failure half-way leaves the profile as it was.
            CProfile result = profile;
            readProfileElements(*document, days, result);
            profile = std::move(result);
            accepted = true;
        } else {
            lastFailure = parser->errorCount() > 0 ? "rejected by the XML parser at " + parser->firstError()
                                                   : "no XML document";
        }
        parser->resetDocumentPool();
        finished = true;
    } catch (const LimitExceeded& limit) {
        lastFailure = std::string("over a limit: ") + limit.what;
    } catch (const OutOfMemoryException&) {
        lastFailure = "over a limit: its tree would take more memory than a profile may";
    } catch (const XMLException& error) {
        lastFailure = "not readable as XML: " + utf8(error.getMessage());
    } catch (...) {
        lastFailure = "not readable as XML";
    }
    if (!finished)
        parser.reset(); // a parse left half-way is not trusted with the next file
    return accepted;
}
