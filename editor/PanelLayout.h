#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Placement rules that the band, band-splitter and global panels share, so
// that captions and controls line up the same way in every panel. All
// arithmetic is integer and truncates toward zero.
namespace plb::layout
{
/** A width x height rectangle centred in the cell (it may overhang a cell
    that is too small). */
inline juce::Rectangle<int> centred (juce::Rectangle<int> cell, int width, int height)
{
    return { cell.getX() + (cell.getWidth() - width) / 2, cell.getY() + (cell.getHeight() - height) / 2, width, height };
}

inline juce::Rectangle<int> leftCell (juce::Rectangle<int> row) { return row.withWidth (row.getWidth() / 2); }

inline juce::Rectangle<int> rightCell (juce::Rectangle<int> row) { return row.withTrimmedLeft (row.getWidth() / 2); }

/** A caption's bounds under a control: the control's bounds widened to at
    least the caption width about their centre, 16 high, from the control's
    bottom. */
inline juce::Rectangle<int> captionUnder (const juce::Component& control)
{
    constexpr int captionWidth = 60;
    constexpr int captionHeight = 16;
    auto bounds = control.getBoundsInParent();
    if (bounds.getWidth() < captionWidth)
        bounds = bounds.withX (bounds.getX() + (bounds.getWidth() - captionWidth) / 2).withWidth (captionWidth);
    return { bounds.getX(), bounds.getBottom(), bounds.getWidth(), captionHeight };
}

/** A 50 x 50 knob centred in its cell, with its caption under it. */
inline void placeKnob (juce::Component& knob, juce::Component& caption, juce::Rectangle<int> cell)
{
    constexpr int knobSize = 50;
    knob.setBounds (centred (cell, knobSize, knobSize));
    caption.setBounds (captionUnder (knob));
}

/** The gap between two controls side by side, with the left one's top and
    height; zero wide where they touch or overlap. */
inline juce::Rectangle<int> gapBetween (const juce::Component& left, const juce::Component& right)
{
    const int leftEdge = left.getRight();
    const int rightEdge = right.getX();
    return { juce::jmin (leftEdge, rightEdge), left.getY(), juce::jmax (0, rightEdge - leftEdge), juce::jmax (0, left.getHeight()) };
}
} // namespace plb::layout
