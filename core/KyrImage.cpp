#include "KyrImage.h"

#include "ui_KyrImage.h"

#include "Forms.h"
#include "Graphics.h"

#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QGuiApplication>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>

TfmKyr560* fmKyr560 = nullptr;

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo)
{
    // libjpeg cannot return from an error: leave the decoder through the jump.
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void JpegQuietMessage(j_common_ptr) {}

// Decodes into a malloc'ed RGB buffer. Only trivially destructible locals live in this
// frame, so the error jump skips no destructor.
unsigned char* DecodeRgb(const unsigned char* data, unsigned long size, int* width, int* height)
{
    jpeg_decompress_struct cinfo;
    JpegError err;
    unsigned char* volatile pixels = nullptr;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    err.mgr.output_message = JpegQuietMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(pixels);
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
    pixels = static_cast<unsigned char*>(std::malloc(stride * cinfo.output_height));
    if (!pixels) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    *width = static_cast<int>(cinfo.output_width);
    *height = static_cast<int>(cinfo.output_height);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return pixels;
}

} // namespace

QImage DecodeJpeg(const QByteArray& data)
{
    if (data.isEmpty())
        return {};
    int w = 0, h = 0;
    unsigned char* rgb = DecodeRgb(reinterpret_cast<const unsigned char*>(data.constData()),
                                   static_cast<unsigned long>(data.size()), &w, &h);
    if (!rgb)
        return {};
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(y), rgb + static_cast<size_t>(y) * w * 3, static_cast<size_t>(w) * 3);
    std::free(rgb);
    return image;
}

QByteArray WelcomePictureJpeg()
{
    QFile f(QStringLiteral(":/kestrovan/Welcome.jpg"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

TfmKyr560::TfmKyr560(QWidget* parent) : QWidget(parent), ui(new Ui::TfmKyr560)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmKyr560"));
    Image1 = ui->Image1;
    Label1 = ui->Label1;
    setFixedSize(509, 414);
    PlaceFrame(this, FrameCentred());
    Image1->setScaledContents(true);  // the picture is stretched to fit
    const QImage picture = DecodeJpeg(WelcomePictureJpeg());
    if (!picture.isNull())
        Image1->setPixmap(QPixmap::fromImage(picture));
    // The label's face as stored, through the installed face of the same metrics: a
    // wider stand-in would cut the text at the label's edges.
    QFont f = Label1->font();
    f.setFamily(TFont::FaceFor(f.family()));
    f.setPixelSize(48);
    Label1->setFont(f);
    Label1->setAttribute(Qt::WA_TranslucentBackground);
    Image1->installEventFilter(this);
    Label1->installEventFilter(this);
}

TfmKyr560::~TfmKyr560()
{
    if (fmKyr560 == this)
        fmKyr560 = nullptr;
    delete ui;
}

void TfmKyr560::Image1Click() { hide(); }
void TfmKyr560::Label1Click() { hide(); }

bool TfmKyr560::FormCloseQuery()
{
    hide();
    return true;
}

void TfmKyr560::FormClose()
{
    hide();
    Application.Terminate();
}

void TfmKyr560::mousePressEvent(QMouseEvent* e)
{
    QWidget::mousePressEvent(e);
    Guarded([this] { Image1Click(); });
}

bool TfmKyr560::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::MouseButtonPress) {
        if (watched == Image1)
            Guarded([this] { Image1Click(); });
        else if (watched == Label1)
            Guarded([this] { Label1Click(); });
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void TfmKyr560::closeEvent(QCloseEvent* e)
{
    bool canClose = true;
    Guarded([&] { canClose = FormCloseQuery(); });
    if (!canClose) {
        e->ignore();
        return;
    }
    Guarded([this] { FormClose(); });
    e->accept();
}
