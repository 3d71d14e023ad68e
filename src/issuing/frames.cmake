# Frame and reply sources: list(APPEND K27_ISSUING_SOURCES ...); list(APPEND K27_ISSUING_LIBS ...)
list(APPEND K27_ISSUING_SOURCES
    CardFrame.h CardFrame.cpp
)
