#pragma once
// The preview tool prints its web-site host name as its very last line; the output window
// takes a chunk holding this text as the end of the tool's work. A reserved documentation
// domain, so it never names a real site.
#define TOOL_END_MARKER "clipmend.example.org"
