list(APPEND PG_CORE_SOURCES
  src/ui/AnchorLayout.cpp
  src/ui/HyperlinkText.cpp
  src/ui/VersionNumbers.cpp)
