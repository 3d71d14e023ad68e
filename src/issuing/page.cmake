# Issuing page sources: list(APPEND K27_ISSUING_SOURCES ...); list(APPEND K27_ISSUING_LIBS ...)
