list(APPEND PG_CORE_SOURCES src/tool/ToolJob.cpp)
