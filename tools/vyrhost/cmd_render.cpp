// vyrhost render: frames of one instance into a PNG, a PNG sequence, a
// video file or a pipe.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "crash_guard.h"
#include "frame_sink.h"
#include "frame_source.h"
#include "host_error.h"
#include "progress.h"
#include "session.h"

namespace vyrhost {

int runRender(const RenderOptions& o) {
    if (o.frames < 0) throw HostError("--frames must be at least 1");
    const OutputKind kind = classifyOutput(o.output);
    applyThreadSettings(o, true);
    Session session = openSession(o);
    const Plugin& plugin = *session.plugin;
    // Without a size of its own, an input keeps its size.
    const std::string ownSize = session.sizeGiven ? std::string() : inputSize(o.input);
    if (!ownSize.empty()) session.size = parseSize(ownSize);
    const int width = session.size.width, height = session.size.height, bytesPerPixel = session.bytesPerPixel;

    // Effects without an input get the test picture; sources opaque black.
    FrameSource source(o.input, !plugin.info().isSource(), width, height, bytesPerPixel, o.pluginDir);

    const ClipLength clip = clipLength(o.frames, session.file.frames, kind, source.kind() == FrameSource::Kind::Clip,
                                       source.lengthHint(), session.hasRamps(), o.input);
    const bool wholeInput = clip.frames < 0;

    Rate rate;
    if (!o.fps.empty())
        rate = parseRate(o.fps);
    else if (!session.file.fps.empty())
        rate = parseRate(session.file.fps);
    else if (!o.input.empty() && source.rateNum() > 0 && source.rateDen() > 0)
        rate = {source.rateNum(), source.rateDen()};

    SinkSettings ss;
    ss.output = o.output;
    ss.width = width;
    ss.height = height;
    ss.bytesPerPixel = bytesPerPixel;
    ss.rate = rate;
    ss.codec = o.codec;
    ss.keepAlpha = !o.opaque;
    ss.crf = o.crf;
    ss.scaleToEven = o.scaleToEven;
    CrashGuard guard(plugin.name());
    std::unique_ptr<FrameSink> sink = openSink(ss);
    guard.setOutput(sink->temporaryPath(), sink->crashNote());
    if (!o.quiet && !sink->startNote().empty()) std::fprintf(stderr, "vyrhost: %s\n", sink->startNote().c_str());
    session.setRate(rate);
    session.seedIfAsked();
    guard.setInPlugin(true);
    std::unique_ptr<Instance> inst(new Instance(plugin, width, height, o.depth));
    inst->setFrameRate(double(rate.num) / rate.den);
    guard.setInPlugin(false);
    std::vector<uint8_t> in(inst->frameBytes()), out(o.copy ? inst->frameBytes() : 0);

    const auto start = std::chrono::steady_clock::now();
    long done = 0;
    bool stopped = false;
    std::string abandoned;  // what became of an output given up
    try {
        Progress progress(plugin.name(), clip.rampFrames);
        for (; wholeInput || done < clip.frames; ++done) {
            // Ctrl-C keeps what a video or a sequence has so far; a second
            // one (the guard's) abandons it.
            if (guard.interrupted()) {
                stopped = true;
                break;
            }
            if (!source.next(in.data(), done, !wholeInput)) break;
            guard.setFrame(done);
            guard.setInPlugin(true);
            // A take's re-seed starts a fresh instance from the new seed, as
            // the live window did.
            unsigned reseed = 0;
            if (done > 0 && session.reseedAt(done, reseed)) {
                inst.reset();
                session.seedNextInstance(reseed);
                inst.reset(new Instance(plugin, width, height, o.depth));
                inst->setFrameRate(double(rate.num) / rate.den);
                session.newInstance();
            }
            session.apply(*inst, done, clip.rampFrames);
            const bool ok = o.copy ? inst->processFrameCopy(in.data(), out.data()) : inst->processFrame(in.data());
            guard.setInPlugin(false);
            if (!ok)
                throw HostError(plugin.name() + ": " + (o.copy ? "processFrameCopy" : "processFrame") +
                                " failed at frame " + std::to_string(done));
            sink->write(o.copy ? out.data() : in.data());
            if (!sink->lastWritten().empty()) {
                guard.addWritten(sink->lastWritten());
                guard.setOutput(sink->temporaryPath(), sink->crashNote());
            }
            progress.update(done + 1);
        }
        progress.clear();
        // Ctrl-C during the last frame stops a single picture too, which
        // is not written then; nor is an output without a frame.
        if (guard.interrupted() && (done == 0 || !sink->keepsPartial()))
            abandoned = sink->abandon();
        else
            sink->finish();
        stopped = stopped || guard.interrupted();
        guard.disarm();
    } catch (const std::exception& e) {
        // Out of memory included: whatever stopped the render, say what
        // became of the output.
        throw HostError(std::string(e.what()) + "; " + sink->abandon());
    }
    if (!abandoned.empty()) {
        std::fprintf(stderr, "vyrhost: error: interrupted at frame %ld; %s\n", done, abandoned.c_str());
        return 130;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!o.quiet && !sink->endNote().empty()) std::fprintf(stderr, "vyrhost: %s\n", sink->endNote().c_str());
    if (stopped) {
        std::fprintf(stderr, "vyrhost: interrupted at frame %ld: wrote %s with the %ld frame%s rendered\n", done,
                     sink->describe().c_str(), done, done == 1 ? "" : "s");
        return 130;
    }
    if (!o.quiet)
        std::fprintf(stderr, "vyrhost: wrote %s: %ld frame%s of %dx%d, %d-bit, in %.2f s (%.1f fps)\n",
                     sink->describe().c_str(), done, done == 1 ? "" : "s", width, height, o.depth, seconds,
                     seconds > 0.0 ? double(done) / seconds : 0.0);
    return 0;
}

}  // namespace vyrhost
