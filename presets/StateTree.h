#pragma once

#include <memory>

#include <juce_audio_processors/juce_audio_processors.h>

namespace qnmr
{
// The type of the processor's parameter tree, and so the root tag of its state
// blob and preset files. Readers compare against this rather than against the
// live tree's type: the live tree may be swapped by a restore on another thread.
inline const juce::Identifier parameterTreeType { "corvantide" };

// Prepares a parameter tree read from a state blob or a preset file for
// AudioProcessorValueTreeState::replaceState:
// - only what the restore reads is kept: the last child that names each
//   parameter, with its "id" and its "value" as a number; other children,
//   properties and the root's attributes go, so the next saved state stays
//   as small as the plug-in's own;
// - a property repeated within one child keeps only its first value, the
//   one the restore applies;
// - an exponent of more than nine digits in a "value" ("1e11111111111") is
//   written as 999999999, which reads as the same infinity or zero; the
//   framework's number reader overflows an int on the longer one;
// - a "value" that reads as NaN is dropped, so that parameter takes its
//   default (as with no value at all) instead of passing NaN to the engine;
//   other texts read as the framework reads them ("abc" is 0, then limited
//   to the parameter's range);
// - every parameter that no child names gets a child holding its current
//   value, appended at the end. Without it the framework appends an empty
//   child and thereby resets such a parameter to its default, where a
//   partial state should leave it alone.
void completeParameterTree (const juce::AudioProcessorValueTreeState& state, juce::ValueTree& tree);

// Limits on outside data, checked before it is parsed. The plug-in writes
// about 1.2 KB (a preset file about 2 KB) with 30 elements nested 2 deep;
// hand-edited files get ample room, while the worst text within the limits
// restores in a few milliseconds and cannot exhaust the stack (the framework's
// XML reader recurses once per level, and its value tree slows down
// quadratically with depth and with the number of attributes on one element).
struct StateLimits
{
    static constexpr int maxBytes = 64 * 1024; // of XML text, or of a preset file
    static constexpr int maxElements = 1024; // '<' not followed by '/' (elements, comments, ...)
    static constexpr int maxAttributes = 4096; // '=' anywhere in the text
    static constexpr int maxDepth = 16; // nesting of elements, the root being 1
};

// Well-formed UTF-8 only: no zero byte, no stray or missing continuation
// bytes, no overlong forms, no surrogates, nothing past U+10FFFF. The
// framework's own check lets overlong forms through: its string maker sizes
// them by the decoded characters and copies them by the bytes, and its XML
// reader decodes an overlong '<' as '<' where a check of the bytes sees text.
bool isWellFormedUtf8 (const char* text, size_t numBytes) noexcept;

// The readers of outside data below return null for anything they refuse.
// They keep input away from faults of the framework: its strings assume
// well-formed UTF-8 (a malformed sequence makes them read and write past
// their buffers), and its XML parser hangs, reads past the text or makes
// malformed text on a few shapes of input that the blobs and files this
// plug-in writes never contain; such texts are refused before parsing.
// Comments and CDATA sections are not looked into: they reach the parser as
// blanks, so notes written into a preset file by hand never refuse it.
std::unique_ptr<juce::XmlElement> parseParameterXml (const juce::String& text);

// "VC2!", a little-endian length n > 0, then at most n bytes of UTF-8 XML
// (ending early at a zero byte).
std::unique_ptr<juce::XmlElement> parseStateBlob (const void* data, int sizeInBytes);

// A file from outside, a preset or the preferences: UTF-8 XML, or UTF-16 with
// a byte-order mark.
std::unique_ptr<juce::XmlElement> parseXmlFile (const juce::File& file);

// The same for a file's bytes already in memory: what a writer checks before
// it writes, so that it never leaves a file that this reader refuses.
std::unique_ptr<juce::XmlElement> parseXmlFileContents (juce::MemoryBlock data);
} // namespace qnmr
