list(APPEND PG_CORE_SOURCES
  src/ui/AnchorLayout.cpp
  src/ui/HyperlinkText.cpp
  src/ui/VersionNumbers.cpp)
list(APPEND PG_WIN32_SOURCES
  src/ui/ResizableDialog.cpp
  src/ui/HyperLinkStatic.cpp
  src/ui/ModuleVersionInfo.cpp
  src/ui/AboutDialog.cpp
  src/ui/WindowRects.cpp)
