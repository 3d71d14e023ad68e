#pragma once

namespace k27 {

// Why a ribbon call was refused. The ribbon's methods keep their documented
// return value 0; the caller learns about a refusal from this code, given through
// an optional out-parameter and kept as VelRibbon::lastError().
enum class RibbonError {
    None,
    TableFull,       // 31 tabs, categories or top buttons, or 91 buttons, already added
    NoSuchImage,     // the image list holds no picture at that (1-based) index
    PictureNotLoaded // a theme picture is missing from the resources or cannot be decoded
};

} // namespace k27
