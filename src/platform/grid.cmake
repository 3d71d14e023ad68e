# Grid component sources: list(APPEND K27_PLATFORM_SOURCES ...)
