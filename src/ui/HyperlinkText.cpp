#include "ui/HyperlinkText.h"

#include "framework/Text.h"

namespace pg {

std::uint32_t LinkTextColour(bool hovering, bool visited)
{
    if (hovering)
        return LINK_HOVER_COLOUR;
    return visited ? LINK_VISITED_COLOUR : LINK_UNVISITED_COLOUR;
}

std::string HyperlinkCommandText(const std::string& registryCommand, const std::string& target)
{
    // A plain byte search is safe in double-byte code pages: neither '"', '%' nor '1' can be
    // the second byte of a double-byte character.
    std::size_t cut = registryCommand.find("\"%1\"");
    if (cut == std::string::npos)
        cut = registryCommand.find("%1");
    std::string command = registryCommand.substr(0, cut);
    command += ' ';
    command += target;
    return command;
}

Rect FitLinkRect(const Rect& rect, std::uint32_t style, std::int32_t cx, std::int32_t cy)
{
    Rect fitted = rect;
    if (style & LINK_STYLE_CENTERIMAGE) {
        const std::int32_t shrink = (fitted.Height() - cy) / 2;
        fitted.top += shrink;
        fitted.bottom -= shrink;
    } else {
        fitted.bottom = fitted.top + cy;
    }
    if (style & LINK_STYLE_CENTER) {
        const std::int32_t shrink = (fitted.Width() - cx) / 2;
        fitted.left += shrink;
        fitted.right -= shrink;
    } else if (style & LINK_STYLE_RIGHT) {
        fitted.left = fitted.right - cx;
    } else {
        fitted.right = fitted.left + cx;
    }
    return fitted;
}

bool OpenSucceeded(std::int32_t result)
{
    return result > 32;
}

namespace {

const char* KnownFailureText(std::int32_t code)
{
    switch (code) {
    case 0:
        return "The operating system is out\nof memory or resources.";
    case 2:
        return "The specified file was not found.";
    case 3:
        return "The specified path was not found.";
    case 5:
        return "The operating system denied\naccess to the specified file.";
    case 8:
        return "There was not enough memory to complete the operation.";
    case 11:
        return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26:
        return "A sharing violation occurred. ";
    case 27:
        return "The filename association is\nincomplete or invalid.";
    case 28:
        return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29:
        return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
               "processed.";
    case 31:
        return "There is no application associated\nwith the given filename extension.";
    case 32:
        return "The specified dynamic-link library was not found.";
    default:
        return nullptr;
    }
}

} // namespace

std::string OpenFailureText(std::int32_t code)
{
    const char* known = KnownFailureText(code);
    const std::string detail =
        known ? std::string(known) : fw::Format("Unknown Error (%d) occurred.", static_cast<int>(code));
    return "Unable to open hyperlink:\n\n" + detail;
}

} // namespace pg
