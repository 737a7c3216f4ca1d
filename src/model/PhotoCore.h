#pragma once

#include "PhotoInfo.h"
#include "formats/JpegSizeLimit.h"
#include "formats/Picture.h"
#include "formats/PictureError.h"
#include "formats/ReducedImage.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <functional>
#include <memory>
#include <optional>

// The rendering core of the photo view: it refers to one settings record (never owns it),
// holds the decoded source and mask pictures, runs the pipeline into the 24-bit rendered
// bitmap and announces every render and zoom change. Needs no widgets: the export and
// lumatrim-render use it alone; the on-screen TPhoto wraps it.
class PhotoCore : public QObject {
    Q_OBJECT

public:
    explicit PhotoCore(QObject* parent = nullptr);
    ~PhotoCore() override;

    TPhotoInfo* Info() const { return info_; }
    int Zoom() const { return zoom_; }
    const Picture* Source() const { return source_.get(); }
    const Picture* MaskPicture() const { return mask_.get(); }
    const QImage& Bitmap() const { return bitmap_; }
    // The source converted once to the 24-bit bitmap every render starts from (null without a
    // source, and in render-only use until a render needs it).
    const QImage& SourceBitmap() const { return sourceBitmap_; }
    // The reduced copy of the source that high-quality renders read (see sourceReduction),
    // made once for the reduction the settings allow and remade only when that changes: for
    // JPEG, libjpeg's DCT-scaled decode of the file; for other formats the box average of
    // the full source. Null until a render first uses one; kept while the settings allow
    // none, so that coming back to the same reduction costs nothing.
    const ReducedImage& ReducedSource() const { return reduced_; }

    // Render-only use (lumatrim-render, the export): the full source is decoded only when a
    // render needs it, so a high-quality render of a JPEG that a reduced decode serves never
    // decodes the file in full. Source() and SourceBitmap() may then stay null while
    // Bitmap() is rendered. Set before SetPhotoInfo; the photo view never sets it, as its
    // dialogs need the full source.
    void SetRenderOnly(bool renderOnly) { renderOnly_ = renderOnly; }
    // The rendered size times the zoom (integer division, truncating).
    QSize DisplaySize() const;
    // One line for the photo area while a photo has no rendered bitmap: its source could not
    // be read, it would be rendered over the size limits or beyond the memory at hand, or its
    // size leaves no pixels. Empty while the bitmap is there and when no photo is shown.
    const QString& Message() const { return message_; }
    // The rendered bitmap; when there is none, throws a PictureError carrying Message().
    const QImage& RenderedBitmap() const;

    // Shows another record (or none): loads its source and mask, then renders. A picture
    // already decoded from the record's file (for the thumbnail of a photo being opened) is
    // taken as the source instead of decoding the file again.
    void SetPhotoInfo(TPhotoInfo* info, std::unique_ptr<Picture> decodedSource = nullptr);
    void SetZoom(int percent);
    // Decodes Info()->FileName as Info()->Decoding says; a file that fails to load leaves no
    // source, silently, and LoadError() says why.
    void LoadSource();
    // Decodes Info()->Mask when its name has an extension; a failure leaves no mask picture,
    // silently, and MaskLoadError() says why.
    void LoadMask();
    // Why the last load of the source or the mask failed, as the one line naming the file
    // ("Cannot open <path>. <reason>"); null after a load that succeeded or was not tried.
    const PictureError* LoadError() const { return sourceError_ ? &*sourceError_ : nullptr; }
    const PictureError* MaskLoadError() const { return maskError_ ? &*maskError_ : nullptr; }
    // Runs the pipeline from the source and announces the change.
    void Render();

    // Writes the rendered bitmap as JPEG: the stream EncodeJpeg gives for the photo's
    // settings, and returns it (the quality it was written at, and whether it met the size
    // limit). Throws on failure; without a bitmap, Message().
    FittedJpeg SaveToFile(const QString& path) const;
    // The JPEG stream of a bitmap as the settings write it: at JpegQuality, or with a size
    // limit (MaxFileKB) at the highest quality up to it whose file fits. The one encoder of
    // every file written and every file size shown; nothing when stop() said so.
    static std::optional<FittedJpeg> EncodeJpeg(const QImage& bitmap, const PhotoSettings& settings,
                                                const std::function<bool()>& stop = {});

    void RotateClockwise();
    void RotateCounterclockwise();

signals:
    // After every Render and every SetZoom, with this object as sender.
    void OnChange(QObject* sender);

private:
    // The decoded picture becomes the source, converted once to the 24-bit bitmap every render
    // starts from; a failure is kept as the load error.
    void useSource(std::unique_ptr<Picture> picture);
    void clearSource();
    // Decodes Info()->FileName in full into the source; a failure is kept as the load error.
    void loadFullSource();
    // In render-only use with high-quality scaling: decodes only the reduced source when
    // the format can and the settings allow one, else the full source.
    void loadForRender();
    // Brings the reduced copy to the given reduction (1: none), from the file or the full source.
    void prepareReduced(int denominator);
    void runPipeline();

    TPhotoInfo* info_ = nullptr;
    int zoom_ = 100;
    std::unique_ptr<Picture> source_;
    QImage sourceBitmap_;
    QSize sourceSize_; // the full picture's size, known also while only the reduced copy is decoded
    ReducedImage reduced_;
    bool renderOnly_ = false;
    std::optional<PictureError> sourceError_;
    std::unique_ptr<Picture> mask_;
    std::optional<PictureError> maskError_;
    QImage bitmap_;
    QString message_;
};
