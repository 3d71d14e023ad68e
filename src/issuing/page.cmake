# Issuing page sources.
list(APPEND K27_ISSUING_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/IssuingPage.h ${CMAKE_CURRENT_LIST_DIR}/IssuingPage.cpp
)
list(APPEND K27_ISSUING_LIBS k27_startup)
