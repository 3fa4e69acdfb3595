#pragma once
// What both programs share: the preview tool prints its web-site host name as its very last line;
// the output window takes output holding this text as the end of the tool's work. A reserved documentation
// domain, so it never names a real site.
#define TOOL_END_MARKER "clipmend.example.org"
