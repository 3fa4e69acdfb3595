list(APPEND PG_CORE_SOURCES src/app/MainLayout.cpp)
list(APPEND PG_WIN32_SOURCES src/app/MainDialog.cpp src/app/DirSettings.cpp src/app/DumpOutput.cpp)
