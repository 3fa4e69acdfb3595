list(APPEND PG_CORE_SOURCES
  src/catalogue/DecimalText.cpp
  src/catalogue/PartMetFile.cpp
  src/catalogue/ListText.cpp
  src/catalogue/PartEntryList.cpp
  src/catalogue/ListSort.cpp)
