#include "window_readers.h"

#include "bmp_window.h"
#include "fits_window.h"
#include "jpeg_window.h"
#include "ser_window.h"

namespace framesifter {

const WindowReaderRow& WindowReaderOf(FrameFormat format) {
    static const WindowReaderRow none;
    static const WindowReaderRow bmp{BmpWindowFromSource, nullptr};
    static const WindowReaderRow jpeg{JpegWindowFromSource, nullptr};
    static const WindowReaderRow fits{FitsWindowFromSource, nullptr};
    static const WindowReaderRow ser{nullptr, SerWindowFromSource};
    switch (format) {
    case FrameFormat::Bmp:
        return bmp;
    case FrameFormat::Jpeg:
        return jpeg;
    case FrameFormat::Fits:
        return fits;
    case FrameFormat::Ser:
        return ser;
    case FrameFormat::Unknown:
        break;
    }
    return none;
}

}  // namespace framesifter
