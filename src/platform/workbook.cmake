# Workbook reading for the imports: list(APPEND K27_PLATFORM_SOURCES ...)
list(APPEND K27_PLATFORM_SOURCES
    WorkbookReader.h WorkbookReader.cpp
    DuplicateAnswer.h
    ImportProgress.h
)
