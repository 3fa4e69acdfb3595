list(APPEND PG_CORE_SOURCES
  src/catalogue/DecimalText.cpp
  src/catalogue/PartMetFile.cpp
  src/catalogue/ListText.cpp
  src/catalogue/PartEntryList.cpp
  src/catalogue/ListSort.cpp
  src/catalogue/LiveList.cpp)
if(WIN32)
  list(APPEND PG_CORE_SOURCES common/ClientFile_win.cpp)
else()
  list(APPEND PG_CORE_SOURCES common/ClientFile_posix.cpp)
endif()
list(APPEND PG_WIN32_SOURCES
  src/catalogue/FindFileLister.cpp
  src/catalogue/ListViewRows.cpp
  src/catalogue/MetadataPrefetch.cpp
  src/catalogue/MainDialogCatalogue.cpp
  src/catalogue/MainDialogLive.cpp
  src/catalogue/TempDirWatcher.cpp)
