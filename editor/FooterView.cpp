#include "editor/FooterView.h"

#include "BinaryData.h"

namespace plb
{
namespace
{
    std::unique_ptr<juce::Drawable> svg (const char* data, int size)
    {
        return juce::Drawable::createFromImageData (data, (size_t) size);
    }

    const juce::Colour logoColour (0xffbdbdbd);
} // namespace

FooterView::FooterView()
    : menuButton (svg (BinaryData::menu_icon_svg, BinaryData::menu_icon_svgSize),
                  svg (BinaryData::menu_icon_svg, BinaryData::menu_icon_svgSize))
    , previousButton (svg (BinaryData::left_icon_svg, BinaryData::left_icon_svgSize),
                      svg (BinaryData::left_icon_svg, BinaryData::left_icon_svgSize))
    , nextButton (svg (BinaryData::right_icon_svg, BinaryData::right_icon_svgSize),
                  svg (BinaryData::right_icon_svg, BinaryData::right_icon_svgSize))
    , randomButton (svg (BinaryData::random_icon_svg, BinaryData::random_icon_svgSize),
                    svg (BinaryData::random_icon_svg, BinaryData::random_icon_svgSize))
{
    addAndMakeVisible (menuButton);
    addAndMakeVisible (previousButton);
    addAndMakeVisible (nextButton);
    addAndMakeVisible (presetNameButton);
    addAndMakeVisible (randomButton);

    // The logos are single-colour artwork: grey in every theme.
    makerLogo = svg (BinaryData::QW_Icon_svg, BinaryData::QW_Icon_svgSize);
    if (makerLogo != nullptr)
        makerLogo->replaceColour (juce::Colours::white, logoColour);
    productLogo = svg (BinaryData::corvantide_logo_svg, BinaryData::corvantide_logo_svgSize);
    if (productLogo != nullptr)
        productLogo->replaceColour (juce::Colours::black, logoColour);
}

FooterView::~FooterView() = default;

void FooterView::paint (juce::Graphics& g)
{
    g.fillAll (getLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId));

    if (productLogo != nullptr)
        productLogo->drawWithin (g, productLogoArea, juce::RectanglePlacement::xLeft, 1.0f);
    if (makerLogo != nullptr)
        makerLogo->drawWithin (g, makerLogoArea, juce::RectanglePlacement::xRight, 1.0f);
}

void FooterView::resized()
{
    const int width = getWidth();
    const int height = getHeight();
    const int third = width / 3;
    const int logoHeight = juce::jmax (0, height - 40);

    productLogoArea = juce::Rectangle<int> (46, 20, juce::jmax (0, third - 40), logoHeight).toFloat();

    // The preset controls sit in the middle part: previous, name, next, with
    // randomise and options one button-and-gap further out on either side.
    constexpr int buttonSize = 26;
    constexpr int gap = 8;
    constexpr int outerOffset = 42;
    const int middleWidth = (width - third) / 2;
    juce::Rectangle<int> row (third, (height - buttonSize) / 2, middleWidth, buttonSize);

    previousButton.setBounds (row.removeFromLeft (buttonSize));
    row.removeFromLeft (gap);
    nextButton.setBounds (row.removeFromRight (buttonSize));
    row.removeFromRight (gap);
    presetNameButton.setBounds (row);
    randomButton.setBounds (previousButton.getBounds().translated (-outerOffset, 0));
    menuButton.setBounds (nextButton.getBounds().translated (outerOffset, 0));

    const int makerWidth = juce::jmax (0, (width - menuButton.getRight()) - 40);
    makerLogoArea = juce::Rectangle<int> (width - 46 - makerWidth, 20, makerWidth, logoHeight).toFloat();
}
} // namespace plb
