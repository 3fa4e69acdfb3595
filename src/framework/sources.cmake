list(APPEND PG_CORE_SOURCES src/framework/Text.cpp src/framework/Language.cpp)
list(APPEND PG_WIN32_SOURCES
  src/framework/Window.cpp
  src/framework/Dialog.cpp
  src/framework/DataExchange.cpp
  src/framework/Application.cpp
  src/framework/Choosers.cpp
  src/framework/Thread.cpp
  src/framework/IconPaint.cpp
  src/framework/Registry.cpp
  src/framework/Strings.cpp)
