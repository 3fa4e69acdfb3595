#pragma once
// The parts of the hyperlink control that need no window: the browser command built from the
// registry's HTML open command, fitting the control to its text, the error texts and the colours.
#include <cstdint>
#include <string>

#include "ui/AnchorLayout.h"

namespace pg {

// Static-control style bits that decide how the control is fitted to its text.
constexpr std::uint32_t LINK_STYLE_CENTER = 0x1;        // SS_CENTER
constexpr std::uint32_t LINK_STYLE_RIGHT = 0x2;         // SS_RIGHT
constexpr std::uint32_t LINK_STYLE_CENTERIMAGE = 0x200; // SS_CENTERIMAGE

// Colours as the system's COLORREF holds them (0x00BBGGRR).
constexpr std::uint32_t RgbColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return static_cast<std::uint32_t>(red) | (static_cast<std::uint32_t>(green) << 8) |
           (static_cast<std::uint32_t>(blue) << 16);
}
constexpr std::uint32_t LINK_UNVISITED_COLOUR = RgbColour(0, 0, 238);
constexpr std::uint32_t LINK_VISITED_COLOUR = RgbColour(85, 26, 139);
constexpr std::uint32_t LINK_HOVER_COLOUR = RgbColour(255, 92, 0);

// Hovering wins over visited, visited over not visited.
std::uint32_t LinkTextColour(bool hovering, bool visited);

// The command that starts the registered browser on `target`: the registry's open command cut at
// its first "\"%1\"", else at its first bare "%1", else kept whole; then a blank and the target,
// unquoted. Whatever followed the placeholder is dropped. Texts of any length are handled whole.
std::string HyperlinkCommandText(const std::string& registryCommand, const std::string& target);

// The control's rectangle (parent client coordinates) fitted to a text of cx by cy.
Rect FitLinkRect(const Rect& rect, std::uint32_t style, std::int32_t cx, std::int32_t cy);

// Results of the shell and of the command launcher above 32 mean success.
bool OpenSucceeded(std::int32_t result);

// The whole text of the error box for a failed open with that result code.
std::string OpenFailureText(std::int32_t code);

} // namespace pg
