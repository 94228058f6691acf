#include "presets/StateTree.h"

#include "presets/PresetFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace qnmr
{
namespace
{
    bool isDigit (char c) { return c >= '0' && c <= '9'; }
    bool isHexDigit (char c) { return isDigit (c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
    bool isNameStart (char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
    bool isNameChar (char c) { return isNameStart (c) || isDigit (c) || c == '.' || c == '-'; }

    // A complete reference after '&' at position i: "&name;", "&#123;" or
    // "&#x1F;", a character reference naming a code point from 1 to
    // U+10FFFF. The framework's parser reads past the end of the text on a
    // cut-off hexadecimal reference and inserts any number it is given as
    // a character, which yields malformed text.
    bool isCompleteReference (const std::string& s, size_t i)
    {
        size_t j = i + 1;
        if (j < s.size() && s[j] == '#')
        {
            const bool hex = j + 1 < s.size() && (s[j + 1] == 'x' || s[j + 1] == 'X');
            j += hex ? 2 : 1;
            std::uint32_t code = 0;
            size_t digits = 0;
            for (; j < s.size() && (hex ? isHexDigit (s[j]) : isDigit (s[j])); ++j, ++digits)
            {
                if (digits >= 8)
                    return false;
                code = code * (hex ? 16u : 10u) + (std::uint32_t) juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) s[j]);
            }
            return digits > 0 && j < s.size() && s[j] == ';' && code >= 1 && code <= 0x10ffff;
        }

        if (j >= s.size() || ! isNameStart (s[j]))
            return false;
        while (j < s.size() && isNameChar (s[j]))
            ++j;
        return j < s.size() && s[j] == ';';
    }

    // The framework's number reader gathers an exponent's digits in an int,
    // which overflows past nine significant digits. Any such exponent makes a
    // double infinite or zero, and so does 999999999, which it reads safely.
    // The text is otherwise kept as it was, so every other value reads as before.
    juce::String withExponentsCapped (const juce::String& text)
    {
        const auto s = text.toStdString();
        std::string out;
        bool capped = false;
        for (size_t i = 0; i < s.size();)
        {
            const bool exponent = s[i] == 'e' || s[i] == 'E';
            out += s[i++];
            if (! exponent)
                continue;

            if (i < s.size() && (s[i] == '+' || s[i] == '-'))
                out += s[i++];

            const auto digits = i;
            while (i < s.size() && isDigit (s[i]))
                ++i;

            const auto significant = std::min (s.find_first_not_of ('0', digits), i);
            if (i - significant > 9)
                out += "999999999", capped = true;
            else
                out.append (s, digits, i - digits);
        }

        return capped ? juce::String::fromUTF8 (out.data(), (int) out.size()) : text;
    }

    // One walk over outside text, for two purposes.
    //
    // It counts, without parsing, what StateLimits bound, and it must never
    // count less than the framework's reader can nest, whatever the text: the
    // reader recurses once per open element and, after most errors, records
    // the error but reads on, so markup that a looser walk took for the inside
    // of a value would still be nested to any depth. The walk therefore reads
    // tags token by token as the reader does, and refuses at once where the
    // reader records an error that fails the document anyway (a quote or '<'
    // where an attribute name should stand, a name without '=', a value
    // without its closing quote, '<' without a tag name). Only ASCII is taken
    // for blanks and names inside a tag: beyond it the reader asks the
    // locale, so any other byte there is refused too.
    //
    // It also gives the text that the parser gets: each comment, and each
    // CDATA section inside an element, replaced by one blank. Users annotate
    // preset files by hand, and what a comment says ("A & B", "was <?old?>")
    // must not refuse the file; the checks after it then see exactly the
    // markup that is parsed. As in the framework's reader, a comment runs to
    // the first "-->" and counts as a blank wherever a blank may stand, also
    // between attributes; CDATA runs to the first "]]>" and is read only
    // inside an element; a value is quoted only after '=' and blanks; a close
    // tag (to its first '>') and a processing instruction (to its first "?>")
    // are taken as they stand.
    class MarkupWalk
    {
    public:
        MarkupWalk (const std::string& text, std::string& parsedText)
            : s (text), out (parsedText)
        {
        }

        // Returns false, with the text unfinished, when a limit is passed or
        // the text is refused.
        bool run()
        {
            if (s.size() > (size_t) StateLimits::maxBytes || std::count (s.begin(), s.end(), '=') > StateLimits::maxAttributes)
                return false;

            out.clear();
            out.reserve (s.size());
            int elements = 0, depth = 0;

            while (i < s.size())
            {
                if (s[i] != '<')
                {
                    out += s[i++];
                    continue;
                }

                // The reader closes the innermost open element, whatever the name.
                if (s.compare (i, 2, "</") == 0)
                {
                    depth = std::max (0, depth - 1);
                    copyPast (">", i);
                    continue;
                }

                if (++elements > StateLimits::maxElements)
                    return false;

                if (s.compare (i, 4, "<!--") == 0)
                    blankPast ("-->", i + 4);
                else if (s.compare (i, 9, "<![CDATA[") == 0)
                    depth > 0 ? blankPast ("]]>", i + 9) : copyPast ("]]>", i + 9);
                else if (s.compare (i, 2, "<?") == 0)
                    copyPast ("?>", i + 2);
                else if (depth + 1 > StateLimits::maxDepth)
                    return false;
                else if (const auto tag = readStartTag(); tag == Tag::refused)
                    return false;
                else
                    depth += tag == Tag::opened ? 1 : 0;
            }

            return true;
        }

    private:
        enum class Tag
        {
            opened,
            closed, // empty, or ended where the reader stops reading it
            refused
        };

        static bool isBlank (char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
        static bool isTagNameChar (char c) { return isNameChar (c) || c == ':'; }

        // From '<' to the end of the tag, as the reader's element reading takes it.
        Tag readStartTag()
        {
            out += s[i++];
            if (! skipBlanks() || ! readName())
                return Tag::refused;

            for (;;)
            {
                if (! skipBlanks())
                    return Tag::refused;
                if (i >= s.size())
                    return Tag::closed;
                if (s.compare (i, 2, "/>") == 0)
                {
                    out += "/>";
                    i += 2;
                    return Tag::closed;
                }
                if (s[i] == '>')
                {
                    out += s[i++];
                    return Tag::opened;
                }

                if (! readName() || ! skipBlanks() || i >= s.size() || s[i] != '=')
                    return Tag::refused;
                out += s[i++];
                if (! skipBlanks())
                    return Tag::refused;

                // Without a quote the reader ends the element here, with no
                // error, and reads what follows as the enclosing element's
                // content: so does the walk.
                if (i >= s.size() || (s[i] != '"' && s[i] != '\''))
                    return Tag::closed;

                const auto close = s.find (s[i], i + 1);
                if (close == std::string::npos)
                    return Tag::refused;
                out.append (s, i, close + 1 - i);
                i = close + 1;
            }
        }

        bool readName()
        {
            const auto start = i;
            while (i < s.size() && isTagNameChar (s[i]))
                out += s[i++];
            return i > start;
        }

        // The blanks and comments that the reader skips inside a tag. False
        // where it might skip more than the walk: at a processing instruction
        // or a byte that is not printable ASCII.
        bool skipBlanks()
        {
            for (;;)
            {
                if (i < s.size() && isBlank (s[i]))
                    out += s[i++];
                else if (s.compare (i, 4, "<!--") == 0)
                    blankPast ("-->", i + 4);
                else if (i >= s.size())
                    return true;
                else
                {
                    const auto c = static_cast<unsigned char> (s[i]);
                    return c >= 0x20 && c < 0x7f && s.compare (i, 2, "<?") != 0;
                }
            }
        }

        void copyPast (const char* end, size_t from)
        {
            const auto found = s.find (end, from);
            const auto stop = found == std::string::npos ? s.size() : found + std::strlen (end);
            out.append (s, i, stop - i);
            i = stop;
        }

        void blankPast (const char* end, size_t from)
        {
            const auto found = s.find (end, from);
            i = found == std::string::npos ? s.size() : found + std::strlen (end);
            out += ' ';
        }

        const std::string& s;
        std::string& out;
        size_t i = 0;
    };

    // Shapes of text that the framework's XML parser mishandles. It never
    // returns on a processing instruction followed by text inside an
    // element ("<a><?x?>b</a>"), so any "<?" after the leading declaration
    // is refused; a document type may declare entities, which this data
    // never needs. The blobs and files this plug-in writes hold neither.
    bool isSafeForParser (const std::string& s)
    {
        auto start = s.find_first_not_of (" \t\r\n");
        if (start != std::string::npos && s.compare (start, 2, "<?") == 0)
        {
            const auto end = s.find ("?>", start + 2);
            start = end == std::string::npos ? s.size() : end + 2;
        }

        if (start != std::string::npos && s.find ("<?", start) != std::string::npos)
            return false;

        if (juce::String (s).containsIgnoreCase ("<!DOCTYPE"))
            return false;

        for (auto amp = s.find ('&'); amp != std::string::npos; amp = s.find ('&', amp + 1))
            if (! isCompleteReference (s, amp))
                return false;

        return true;
    }
} // namespace

bool isWellFormedUtf8 (const char* text, size_t numBytes) noexcept
{
    const auto* bytes = reinterpret_cast<const unsigned char*> (text);

    for (size_t i = 0; i < numBytes;)
    {
        const auto lead = bytes[i];
        if (lead < 0x80)
        {
            if (lead == 0)
                return false;
            ++i;
            continue;
        }

        // The range of the byte after the lead excludes the overlong forms,
        // the surrogates and everything past U+10FFFF.
        size_t extra = 0;
        unsigned char low = 0x80, high = 0xbf;
        if (lead >= 0xc2 && lead <= 0xdf)
            extra = 1;
        else if (lead >= 0xe0 && lead <= 0xef)
        {
            extra = 2;
            low = lead == 0xe0 ? 0xa0 : low;
            high = lead == 0xed ? 0x9f : high;
        }
        else if (lead >= 0xf0 && lead <= 0xf4)
        {
            extra = 3;
            low = lead == 0xf0 ? 0x90 : low;
            high = lead == 0xf4 ? 0x8f : high;
        }
        else
            return false;

        if (numBytes - i <= extra || bytes[i + 1] < low || bytes[i + 1] > high)
            return false;
        for (size_t k = 2; k <= extra; ++k)
            if ((bytes[i + k] & 0xc0) != 0x80)
                return false;

        i += extra + 1;
    }

    return true;
}
void completeParameterTree (const juce::AudioProcessorValueTreeState& state, juce::ValueTree& tree)
{
    static const juce::Identifier paramType ("PARAM"), idKey ("id"), valueKey ("value");

    juce::StringArray ids;
    for (auto* parameter : state.processor.getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
            ids.add (ranged->paramID);

    // The restored tree is what the next save writes. Only what the restore
    // reads is kept (the last child naming each parameter, its id and its
    // value as a number), so that an input within the limits cannot turn into
    // a saved state beyond them, which the host could then not restore.
    tree.removeAllProperties (nullptr);
    juce::StringArray named;
    for (int i = tree.getNumChildren(); --i >= 0;)
    {
        auto child = tree.getChild (i);
        const auto id = child[idKey].toString();
        if (! ids.contains (id) || named.contains (id))
        {
            tree.removeChild (i, nullptr);
            continue;
        }

        // Of a repeated attribute ('value="1" value="2"') the restore reads the
        // first, and so does this: the saved state keeps what was in effect.
        named.add (id);
        const auto hasValue = child.hasProperty (valueKey);
        auto value = child[valueKey];
        child.removeAllProperties (nullptr);
        child.removeAllChildren (nullptr);
        child.setProperty (idKey, id, nullptr);

        if (value.isString())
            value = withExponentsCapped (value.toString());

        if (const auto number = static_cast<double> (value); hasValue && ! std::isnan (number))
            child.setProperty (valueKey, number, nullptr);
    }

    for (const auto& id : ids)
    {
        if (named.contains (id))
            continue;

        auto* parameter = state.getParameter (id);
        juce::ValueTree child (paramType);
        child.setProperty (idKey, id, nullptr);
        child.setProperty (valueKey, parameter->convertFrom0to1 (parameter->getValue()), nullptr);
        tree.appendChild (child, nullptr);
    }
}

std::unique_ptr<juce::XmlElement> parseParameterXml (const juce::String& text)
{
    const auto s = text.toStdString();
    std::string markup;
    if (! MarkupWalk (s, markup).run() || ! isSafeForParser (markup))
        return nullptr;

    return juce::parseXML (markup == s ? text : juce::String::fromUTF8 (markup.data(), (int) markup.size()));
}

std::unique_ptr<juce::XmlElement> parseStateBlob (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8)
        return nullptr;

    const auto* bytes = static_cast<const char*> (data);
    if (juce::ByteOrder::littleEndianInt (bytes) != 0x21324356) // "VC2!"
        return nullptr;

    const auto length = static_cast<int> (juce::ByteOrder::littleEndianInt (bytes + 4));
    if (length <= 0)
        return nullptr;

    // The text ends at the first zero byte; one far too long is refused before
    // any more work is spent on it.
    const auto available = (size_t) juce::jmin (sizeInBytes - 8, length);
    const auto* end = static_cast<const char*> (std::memchr (bytes + 8, 0, available));
    const auto textBytes = end != nullptr ? (size_t) (end - (bytes + 8)) : available;
    if (textBytes > (size_t) StateLimits::maxBytes || ! isWellFormedUtf8 (bytes + 8, textBytes))
        return nullptr;

    return parseParameterXml (juce::String::fromUTF8 (bytes + 8, (int) textBytes));
}

std::unique_ptr<juce::XmlElement> parseXmlFile (const juce::File& file)
{
    juce::MemoryBlock data;
    if (! PresetFileReader::read (file, static_cast<size_t> (StateLimits::maxBytes), data))
        return nullptr;

    return parseXmlFileContents (std::move (data));
}

std::unique_ptr<juce::XmlElement> parseXmlFileContents (juce::MemoryBlock data)
{
    if (data.getSize() > static_cast<size_t> (StateLimits::maxBytes))
        return nullptr;

    // The framework's string maker reads one byte past the text it is given
    // when nothing follows a byte-order mark; a zero kept behind the loaded
    // bytes gives that read something to land on.
    const auto size = static_cast<int> (data.getSize());
    data.append ("", 1);
    const auto* bytes = static_cast<const char*> (data.getData());
    const bool utf16 = size >= 2
                       && (juce::CharPointer_UTF16::isByteOrderMarkBigEndian (bytes)
                           || juce::CharPointer_UTF16::isByteOrderMarkLittleEndian (bytes));

    // UTF-16 is converted unit by unit into well-formed text; anything else
    // must already be well-formed UTF-8 up to its first zero byte, where the
    // framework's string maker ends the text.
    const auto* zero = static_cast<const char*> (std::memchr (bytes, 0, (size_t) size));
    if (! utf16 && ! isWellFormedUtf8 (bytes, zero != nullptr ? (size_t) (zero - bytes) : (size_t) size))
        return nullptr;

    return parseParameterXml (juce::String::createStringFromData (bytes, size));
}
} // namespace qnmr
