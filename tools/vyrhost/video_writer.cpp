#include "video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cstdio>
#include <cstring>
#include <vector>

#include "av_messages.h"
#include "host_error.h"

namespace vyrhost {

namespace {

// The encoder's pixel format: 4:2:0 where the encoder has it and the size
// allows it (what players expect), else the closest the encoder offers.
AVPixelFormat choosePixelFormat(const AVCodec* codec, AVPixelFormat source, int width, int height) {
    const AVPixelFormat* fmts = codec->pix_fmts;
    if (fmts == nullptr) return source;
    const bool even = width % 2 == 0 && height % 2 == 0;
    for (const AVPixelFormat* f = fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == AV_PIX_FMT_YUV420P && even) return *f;
    // pal8 needs a palette, which only the GIF graph builds.
    for (const AVPixelFormat* f = fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == AV_PIX_FMT_PAL8 && codec->id == AV_CODEC_ID_GIF) return *f;
    std::vector<AVPixelFormat> usable;
    for (const AVPixelFormat* f = fmts; *f != AV_PIX_FMT_NONE; ++f) {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(*f);
        if (d == nullptr || (d->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL))) continue;
        if (d->log2_chroma_w > 0 && width % 2 != 0) continue;
        if (d->log2_chroma_h > 0 && height % 2 != 0) continue;
        usable.push_back(*f);
    }
    if (usable.empty()) return AV_PIX_FMT_NONE;
    usable.push_back(AV_PIX_FMT_NONE);
    return avcodec_find_best_pix_fmt_of_list(usable.data(), source, 0, nullptr);
}

}  // namespace

struct VideoWriter::State {
    std::string path;
    AVFormatContext* oc = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* stream = nullptr;
    AVFilterGraph* graph = nullptr;
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    AVFrame* in = nullptr;
    AVFrame* filtered = nullptr;
    AVPacket* pkt = nullptr;
    int width = 0, height = 0, bpp = 0;
    int64_t nextPts = 0;
    bool headerWritten = false;
    bool finished = false;

    ~State() {
        av_frame_free(&in);
        av_frame_free(&filtered);
        av_packet_free(&pkt);
        avfilter_graph_free(&graph);
        avcodec_free_context(&enc);
        if (oc != nullptr) {
            if (oc->pb != nullptr) avio_closep(&oc->pb);
            avformat_free_context(oc);
        }
    }

    [[noreturn]] void fail(const std::string& what, int code) {
        throw HostError(describeAvFailure("video " + path + ": " + what, code));
    }

    void buildGraph(AVPixelFormat source, AVPixelFormat target, Rate rate, bool gif) {
        graph = avfilter_graph_alloc();
        if (graph == nullptr) fail("out of memory", 0);
        char args[256];
        std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1:frame_rate=%d/%d",
                      width, height, int(source), rate.den, rate.num, rate.num, rate.den);
        int r = avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "in", args, nullptr, graph);
        if (r < 0) fail("cannot set up the frame source", r);
        r = avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph);
        if (r < 0) fail("cannot set up the frame sink", r);
        const AVPixelFormat sinkFormats[] = {target, AV_PIX_FMT_NONE};
        r = av_opt_set_int_list(sink, "pix_fmts", sinkFormats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
        if (r < 0) fail("cannot set the output pixel format", r);

        // A GIF palette is built from the whole clip; other encoders get a
        // plain format conversion.
        const char* chain = gif ? "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse=dither=sierra2_4a"
                                : "null";
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        outputs->name = av_strdup("in");
        outputs->filter_ctx = src;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink;
        r = avfilter_graph_parse_ptr(graph, chain, &inputs, &outputs, nullptr);
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
        if (r < 0) fail("cannot build the filter graph", r);
        r = avfilter_graph_config(graph, nullptr);
        if (r < 0) fail("cannot configure the filter graph", r);
    }

    void drainEncoder() {
        for (;;) {
            int r = avcodec_receive_packet(enc, pkt);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) fail("encoding failed", r);
            av_packet_rescale_ts(pkt, enc->time_base, stream->time_base);
            pkt->stream_index = stream->index;
            r = av_interleaved_write_frame(oc, pkt);
            if (r < 0) fail("cannot write", r);
        }
    }

    void drainGraph() {
        for (;;) {
            int r = av_buffersink_get_frame(sink, filtered);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) fail("filtering failed", r);
            filtered->pict_type = AV_PICTURE_TYPE_NONE;
            r = avcodec_send_frame(enc, filtered);
            av_frame_unref(filtered);
            if (r < 0) fail("encoding failed", r);
            drainEncoder();
        }
    }
};

VideoWriter::VideoWriter(const std::string& formatName, const std::string& filePath, int width, int height,
                         int bytesPerPixel, Rate rate, const std::string& codecName)
    : s_(new State) {
    State& s = *s_;
    s.path = formatName;
    s.width = width;
    s.height = height;
    s.bpp = bytesPerPixel;
    captureLibraryLog();

    int r = avformat_alloc_output_context2(&s.oc, nullptr, nullptr, formatName.c_str());
    if (r < 0 || s.oc == nullptr)
        throw HostError("cannot write " + formatName +
                        ": unknown video format (use .png, a .png pattern such as out_%04d.png, .mp4, .mkv, .webm, "
                        ".mov, .avi or .gif)");
    const AVOutputFormat* ofmt = s.oc->oformat;
    // Image muxers write files of their own under the final name.
    if (ofmt->flags & AVFMT_NOFILE)
        throw HostError("cannot write " + formatName + ": pictures are written as .png, videos as .mp4, .mkv, .webm, "
                        ".mov, .avi or .gif");

    const AVCodec* codec = nullptr;
    if (!codecName.empty()) {
        codec = avcodec_find_encoder_by_name(codecName.c_str());
        if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO)
            throw HostError("no video encoder named \"" + codecName + "\" (see ffmpeg -encoders)");
        if (avformat_query_codec(ofmt, codec->id, FF_COMPLIANCE_NORMAL) != 1)
            throw HostError("encoder " + codecName + " cannot be stored in a ." + ofmt->name + " file");
    } else {
        if (ofmt->video_codec == AV_CODEC_ID_NONE) throw HostError("cannot write " + formatName + ": not a video format");
        codec = avcodec_find_encoder(ofmt->video_codec);
        if (codec == nullptr)
            throw HostError("cannot write " + formatName + ": no encoder for " +
                            avcodec_get_name(ofmt->video_codec) + " in this FFmpeg");
    }

    const AVPixelFormat source = bytesPerPixel == 4 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24;
    const AVPixelFormat target = choosePixelFormat(codec, source, width, height);
    if (target == AV_PIX_FMT_NONE)
        throw HostError("encoder " + std::string(codec->name) + " cannot take a " + std::to_string(width) + "x" +
                        std::to_string(height) + " picture (try an even size)");

    s.buildGraph(source, target, rate, codec->id == AV_CODEC_ID_GIF);

    s.enc = avcodec_alloc_context3(codec);
    if (s.enc == nullptr) s.fail("out of memory", 0);
    s.enc->width = width;
    s.enc->height = height;
    s.enc->pix_fmt = target;
    s.enc->time_base = av_buffersink_get_time_base(s.sink);
    s.enc->framerate = AVRational{rate.num, rate.den};
    s.enc->sample_aspect_ratio = AVRational{1, 1};
    s.enc->thread_count = 0;
    s.enc->gop_size = 60;
    // Encoders with a constant-quality setting get one that keeps the
    // plug-ins' fine grain; the others a generous bit rate.
    if (av_opt_set(s.enc->priv_data, "crf", "18", 0) < 0) {
        const double bitsPerPixel = 0.25;
        s.enc->bit_rate = int64_t(bitsPerPixel * width * height * rate.num / rate.den);
    }
    if (ofmt->flags & AVFMT_GLOBALHEADER) s.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    r = avcodec_open2(s.enc, codec, nullptr);
    if (r < 0) s.fail(std::string("cannot open encoder ") + codec->name, r);

    s.stream = avformat_new_stream(s.oc, nullptr);
    if (s.stream == nullptr) s.fail("out of memory", 0);
    s.stream->time_base = s.enc->time_base;
    s.stream->avg_frame_rate = s.enc->framerate;
    r = avcodec_parameters_from_context(s.stream->codecpar, s.enc);
    if (r < 0) s.fail("cannot set up the stream", r);

    if (!(ofmt->flags & AVFMT_NOFILE)) {
        r = avio_open(&s.oc->pb, filePath.c_str(), AVIO_FLAG_WRITE);
        if (r < 0) throw HostError(describeAvFailure("cannot write " + formatName, r));
    }
    r = avformat_write_header(s.oc, nullptr);
    if (r < 0) s.fail("cannot write the header", r);
    s.headerWritten = true;

    s.in = av_frame_alloc();
    s.filtered = av_frame_alloc();
    s.pkt = av_packet_alloc();
    if (s.in == nullptr || s.filtered == nullptr || s.pkt == nullptr) s.fail("out of memory", 0);
    s.in->format = source;
    s.in->width = width;
    s.in->height = height;
    r = av_frame_get_buffer(s.in, 0);
    if (r < 0) s.fail("out of memory", r);
}

VideoWriter::~VideoWriter() = default;

std::string VideoWriter::encoderName() const { return s_->enc->codec->name; }

void VideoWriter::write(const uint8_t* pixels) {
    State& s = *s_;
    int r = av_frame_make_writable(s.in);
    if (r < 0) s.fail("out of memory", r);
    av_image_copy_plane(s.in->data[0], s.in->linesize[0], pixels, s.width * s.bpp, s.width * s.bpp, s.height);
    s.in->pts = s.nextPts++;
    r = av_buffersrc_add_frame_flags(s.src, s.in, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (r < 0) s.fail("filtering failed", r);
    s.drainGraph();
}

void VideoWriter::finish() {
    State& s = *s_;
    if (s.finished) return;
    s.finished = true;
    int r = av_buffersrc_add_frame_flags(s.src, nullptr, 0);
    if (r < 0) s.fail("filtering failed", r);
    s.drainGraph();
    r = avcodec_send_frame(s.enc, nullptr);
    if (r < 0) s.fail("encoding failed", r);
    s.drainEncoder();
    r = av_write_trailer(s.oc);
    if (r < 0) s.fail("cannot write the trailer", r);
    if (s.oc->pb != nullptr) {
        r = avio_closep(&s.oc->pb);
        if (r < 0) s.fail("cannot close", r);
    }
}

}  // namespace vyrhost
