# Grid component sources: list(APPEND K27_PLATFORM_SOURCES ...)
list(APPEND K27_PLATFORM_SOURCES
    Grid.h Grid.cpp
    GridModel.h GridModel.cpp
    GridHeaderView.h GridHeaderView.cpp
    GridDelegate.h GridDelegate.cpp
    GridExportResult.h
    GridExporter.h GridExporter.cpp
    GridPageSetup.h GridPageSetup.cpp
    GridPrinter.h GridPrinter.cpp
)
