#include "app/ArdourSession.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>

#include "app/AppDecisions.h"
#include "app/Version.h"
#include "platform/kxDiskMgr.h"
#include "audiofile/kxFile.h"

namespace app {

namespace {

// ---- Names ----

// Bytes of the UTF-8 sequence starting at text[i], or 0 when it is no valid one
// (stray, cut short, overlong, a surrogate or beyond U+10FFFF).
size_t Utf8SequenceAt(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    size_t length = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

// `text` as valid UTF-8 without control characters (which no XML file may hold)
// nor any of `refused`: each offending byte becomes "_".
std::string CleanName(const std::string& text, std::string_view refused = "") {
    std::string clean;
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceAt(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        if (length == 0 || c < 0x20 || c == 0x7F ||
            (length == 1 && refused.find(text[i]) != std::string_view::npos)) {
            clean += '_';
            ++i;
            continue;
        }
        clean.append(text, i, length);
        i += length;
    }
    return clean;
}

// A name as an XML attribute between double quotes: made a clean name, then escaped.
std::string XmlText(const std::string& text) {
    std::string escaped;
    for (const char c : CleanName(text)) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// "Take.wav" becomes "Take (2).wav"; a name without extension gets the number at its end.
std::string NumberedName(const std::string& name, int number) {
    const size_t dot = name.rfind('.');
    const size_t stem = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, stem) + " (" + std::to_string(number) + ")" + name.substr(stem);
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// ---- The session file ----

// Ardour's audio time: superclock ticks after an "a".
std::string Timepos(uint64_t frames, uint32_t rate) {
    return "a" + std::to_string(SuperclockOf(frames, rate));
}

// Object ids, unique in the file; Ardour goes on counting from id-counter.
class Ids {
public:
    uint64_t operator()() { return next_++; }
    uint64_t Next() const { return next_; }

private:
    uint64_t next_ = 1;
};

// The template with "{id}" replaced by a fresh id at each occurrence and every
// other "{key}" by values[key].
std::string Fill(std::string_view tmpl, Ids& ids,
                 const std::map<std::string, std::string>& values = {}) {
    std::string out;
    size_t at = 0;
    while (true) {
        const size_t open = tmpl.find('{', at);
        if (open == std::string_view::npos) break;
        const size_t close = tmpl.find('}', open);
        out.append(tmpl.substr(at, open - at));
        const std::string key(tmpl.substr(open + 1, close - open - 1));
        out += key == "id" ? std::to_string(ids()) : values.at(key);
        at = close + 1;
    }
    out.append(tmpl.substr(at));
    return out;
}

// The master bus as Ardour 7.3 saves a new session's: stereo in and out, fed by
// both tracks, fader and trim at unity, a full-width stereo panner.
constexpr std::string_view kMasterRoute =
    R"(    <Route version="7002" id="{route}" name="Master" default-type="audio" strict-io="1" volume-applies-to-output="1" active="1" denormal-protection="0" meter-point="MeterOutput" disk-io-point="DiskIOPreFader" meter-type="MeterK14">
      <PresentationInfo order="0" flags="MasterOut,OrderSet" color="0"/>
      <Controllable name="solo" id="{id}" flags="Toggle,RealTime" value="0" self-solo="0" soloed-by-upstream="0" soloed-by-downstream="0"/>
      <Controllable name="solo-iso" id="{id}" flags="Toggle,RealTime" value="0" solo-isolated="0"/>
      <Controllable name="solo-safe" id="{id}" flags="Toggle" value="0" solo-safe="0"/>
      <IO name="Master" id="{id}" direction="Input" default-type="audio">
        <Port type="audio" name="Master/audio_in 1">
          <Connection other="Edit/audio_out 1"/>
          <Connection other="Takes/audio_out 1"/>
        </Port>
        <Port type="audio" name="Master/audio_in 2">
          <Connection other="Edit/audio_out 2"/>
          <Connection other="Takes/audio_out 2"/>
        </Port>
      </IO>
      <IO name="Master" id="{id}" direction="Output" default-type="audio">
        <Port type="audio" name="Master/audio_out 1">
          <Connection other="system:playback_1"/>
        </Port>
        <Port type="audio" name="Master/audio_out 2">
          <Connection other="system:playback_2"/>
        </Port>
      </IO>
      <MuteMaster mute-point="PostFader,Listen,Main" muted="0"/>
      <Controllable name="mute" id="{id}" flags="Toggle,RealTime" value="0"/>
      <Controllable name="phase" id="{id}" flags="Toggle" value="0" phase-invert="00"/>
      <Controllable name="mastervolume" id="{id}" flags="GainLike,NotAutomatable" value="1"/>
      <Automation>
        <AutomationList automation-id="solo" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="solo-iso" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="solo-safe" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="mute" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="phase" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
      </Automation>
{pannable}      <Processor id="{id}" name="Polarity" active="1" user-latency="0" use-user-latency="0" type="polarity"/>
{trim}{fader}      <Processor id="{id}" name="Master" active="1" user-latency="0" use-user-latency="0" own-input="1" own-output="0" output="Master" type="main-outs" role="Main">
        <PannerShell bypassed="0" user-panner="" linked-to-route="1"/>
      </Processor>
      <Processor id="{id}" name="meter-Master" active="1" user-latency="0" use-user-latency="0" type="meter"/>
      <Slavable/>
    </Route>
)";

// A stereo audio track as Ardour 7.3 saves a new one: inputs unconnected, outputs
// to the master bus, fader and trim at unity, a full-width stereo panner, the
// trigger box every track has (its slots are added behind "{triggers}").
constexpr std::string_view kTrackRoute =
    R"(    <Route version="7002" id="{route}" name="{name}" default-type="audio" strict-io="0" active="1" denormal-protection="0" meter-point="MeterPostFader" disk-io-point="DiskIOPreFader" meter-type="MeterPeak" audio-playlist="{playlist}" saved-meter-point="MeterPostFader" alignment-choice="Automatic" mode="Normal">
      <PresentationInfo order="{order}" flags="AudioTrack,OrderSet" color="0"/>
      <Controllable name="solo" id="{id}" flags="Toggle,RealTime" value="0" self-solo="0" soloed-by-upstream="0" soloed-by-downstream="0"/>
      <Controllable name="solo-iso" id="{id}" flags="Toggle,RealTime" value="0" solo-isolated="0"/>
      <Controllable name="solo-safe" id="{id}" flags="Toggle" value="0" solo-safe="0"/>
      <IO name="{name}" id="{id}" direction="Input" default-type="audio">
        <Port type="audio" name="{name}/audio_in 1"/>
        <Port type="audio" name="{name}/audio_in 2"/>
      </IO>
      <IO name="{name}" id="{id}" direction="Output" default-type="audio">
        <Port type="audio" name="{name}/audio_out 1">
          <Connection other="Master/audio_in 1"/>
        </Port>
        <Port type="audio" name="{name}/audio_out 2">
          <Connection other="Master/audio_in 2"/>
        </Port>
      </IO>
      <MuteMaster mute-point="PostFader,Listen,Main" muted="{muted}"/>
      <Controllable name="mute" id="{id}" flags="Toggle,RealTime" value="{muted}"/>
      <Controllable name="phase" id="{id}" flags="Toggle" value="0" phase-invert="00"/>
      <Automation>
        <AutomationList automation-id="solo" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="solo-iso" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="solo-safe" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="mute" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="rec-enable" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="rec-safe" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="phase" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
        <AutomationList automation-id="monitor" id="{id}" interpolation-style="Discrete" time-domain="AudioTime" state="Off"/>
      </Automation>
{pannable}      <Processor id="{id}" name="recorder:{name}" active="1" user-latency="0" use-user-latency="0" type="diskwriter" record-safe="0"/>
      <Processor id="{id}" name="player:{name}" active="1" user-latency="0" use-user-latency="0" type="diskreader"/>
      <Processor id="{id}" name="TriggerBox" active="1" user-latency="0" use-user-latency="0" type="triggerbox" data-type="audio" order="{box}">
        <Triggers>
{triggers}        </Triggers>
      </Processor>
      <Processor id="{id}" name="Polarity" active="1" user-latency="0" use-user-latency="0" type="polarity"/>
{trim}{fader}      <Processor id="{id}" name="meter-{name}" active="1" user-latency="0" use-user-latency="0" type="meter"/>
      <Processor id="{id}" name="{name}" active="1" user-latency="0" use-user-latency="0" own-input="1" own-output="0" output="{name}" type="main-outs" role="Main">
        <PannerShell bypassed="0" user-panner="" linked-to-route="1"/>
      </Processor>
      <Slavable/>
      <Controllable name="monitor" id="{id}" flags="RealTime" value="0" monitoring=""/>
      <Controllable name="rec-safe" id="{id}" flags="Toggle,RealTime" value="0"/>
      <Controllable name="rec-enable" id="{id}" flags="Toggle,RealTime" value="0"/>
    </Route>
)";

// The pan controls, centred at full width: a stereo track keeps its left and
// right apart. (Ardour saves width 0 where no panner was made yet, as in its
// command-line tools; its window gives a new stereo panner full width.)
constexpr std::string_view kPannable = R"(      <Pannable>
        <Controllable name="pan-azimuth" id="{id}" flags="" value="0.5"/>
        <Controllable name="pan-width" id="{id}" flags="" value="1"/>
        <Controllable name="pan-elevation" id="{id}" flags="" value="0"/>
        <Controllable name="pan-frontback" id="{id}" flags="" value="0"/>
        <Controllable name="pan-lfe" id="{id}" flags="" value="0"/>
        <Automation>
          <AutomationList automation-id="pan-azimuth" id="{id}" interpolation-style="Linear" time-domain="BeatTime" state="Off"/>
          <AutomationList automation-id="pan-elevation" id="{id}" interpolation-style="Linear" time-domain="BeatTime" state="Off"/>
          <AutomationList automation-id="pan-width" id="{id}" interpolation-style="Linear" time-domain="BeatTime" state="Off"/>
          <AutomationList automation-id="pan-frontback" id="{id}" interpolation-style="Linear" time-domain="BeatTime" state="Off"/>
          <AutomationList automation-id="pan-lfe" id="{id}" interpolation-style="Linear" time-domain="BeatTime" state="Off"/>
        </Automation>
      </Pannable>
)";

constexpr std::string_view kTrim =
    R"(      <Processor id="{id}" name="Amp" active="1" user-latency="0" use-user-latency="0" type="trim">
        <Automation>
          <AutomationList automation-id="trim" id="{id}" interpolation-style="Logarithmic" time-domain="AudioTime" state="Off"/>
        </Automation>
        <Controllable name="trimcontrol" id="{id}" flags="GainLike" value="1"/>
      </Processor>
)";

constexpr std::string_view kFader =
    R"(      <Processor id="{id}" name="Amp" active="1" user-latency="0" use-user-latency="0" type="amp">
        <Automation>
          <AutomationList automation-id="gain" id="{id}" interpolation-style="Exponential" time-domain="AudioTime" state="Off"/>
        </Automation>
        <Controllable name="gaincontrol" id="{id}" flags="GainLike" value="1"/>
      </Processor>
)";

// One empty slot of a trigger box; a new track has kTriggerSlots of them.
constexpr std::string_view kTrigger =
    R"(          <Trigger name="" gain="1" color="3200171775" follow-count="1" use-follow-length="0" follow-length="1|0|0" legato="0" velocity-effect="0" follow-action-probability="0" quantization="1|0|0" launch-style="OneShot" follow-action-0="Again:0" follow-action-1="Stop:0" stretchable="1" cue_isolated="0" allow_patch_changes="1" stretch_mode="Crisp" index="{index}" segment-tempo="0" start="a0"/>
)";
constexpr int kTriggerSlots = 16;

constexpr std::string_view kClick = R"(  <Click>
    <IO name="Click" id="{id}" direction="Output" default-type="audio">
      <Port type="audio" name="Click/audio_out 1">
        <Connection other="system:playback_1"/>
      </Port>
      <Port type="audio" name="Click/audio_out 2">
        <Connection other="system:playback_2"/>
      </Port>
    </IO>
    <Processor id="{id}" name="Amp" active="1" user-latency="0" use-user-latency="0" type="amp">
      <Automation>
        <AutomationList automation-id="gain" id="{id}" interpolation-style="Exponential" time-domain="AudioTime" state="Off"/>
      </Automation>
      <Controllable name="gaincontrol" id="{id}" flags="GainLike" value="1"/>
    </Processor>
  </Click>
)";

// A new session's tempo map: 120 beats a minute in 4/4, which a session of
// recordings placed in audio time never uses.
constexpr std::string_view kTempoMap = R"(  <TempoMap superclocks-per-second="282240000">
    <Tempos>
      <Tempo npm="120" enpm="120" note-type="4" type="Tempo::Constant" active="1" locked-to-meter="0" continuing="0" sclock="0" quarters="0:0" bbt="1|1|0" omega="0"/>
    </Tempos>
    <Meters>
      <Meter note-value="4" divisions-per-bar="4" sclock="0" quarters="0:0" bbt="1|1|0"/>
    </Meters>
    <MusicTimes/>
  </TempoMap>
)";

std::string RouteXml(std::string_view tmpl, Ids& ids, std::map<std::string, std::string> values) {
    values["pannable"] = Fill(kPannable, ids);
    values["trim"] = Fill(kTrim, ids);
    values["fader"] = Fill(kFader, ids);
    std::string triggers;
    for (int slot = 0; slot < kTriggerSlots; ++slot) {
        triggers += Fill(kTrigger, ids, {{"index", std::to_string(slot)}});
    }
    values["triggers"] = triggers;
    return Fill(tmpl, ids, values);
}

// ---- Regions and their fades ----

// Points on each fade curve; Ardour draws a smooth curve through them.
constexpr uint64_t kFadeSteps = 32;

// The gain of the recorder's fade `frame` frames into a fade of `frames` frames:
// it reads a table of 4096 square roots forwards to fade in and backwards to fade
// out, and its first four entries are silence.
double RecorderFadeGain(uint64_t frame, uint64_t frames, bool fadeIn) {
    const double step = 4096.0 * static_cast<double>(frame) / static_cast<double>(frames);
    const double entry = fadeIn ? step : 4095.0 - step;
    return entry < 4.0 ? 0.0 : std::sqrt(entry / 4096.0);
}

// The recorder's fade over `frames` frames as one of Ardour's four curves: the
// fade in, the fade out, or the inverse of either, by which Ardour fades a region
// below. The points lie on frames, closer together where the square root is
// steep; Ardour evaluates a fade of n frames at n points from its start to its
// end, so frame f is found at f * n / (n - 1).
std::string FadeXml(const char* element, const char* automation, bool inverse, bool fadeIn,
                    uint64_t frames, uint32_t rate, Ids& ids) {
    const uint64_t last = frames - 1;
    std::vector<uint64_t> points;
    for (uint64_t j = 0; j <= kFadeSteps; ++j) {
        // Squares of even steps from the silent end of the fade.
        const uint64_t fromSilence =
            (last * j * j + kFadeSteps * kFadeSteps / 2) / (kFadeSteps * kFadeSteps);
        points.push_back(fadeIn ? fromSilence : last - fromSilence);
    }
    // The frame where the silence of the table's first entries ends.
    points.push_back(fadeIn ? (4 * frames + 4095) / 4096 - 1 : 4091 * frames / 4096 + 1);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());

    std::string events;
    for (const uint64_t frame : points) {
        if (frame > last) continue;
        // frame * frames / last frames into the fade as ticks, rounded; frames <= 4096.
        const uint64_t denominator = std::max<uint64_t>(last, 1) * rate;
        const uint64_t ticks = (frame * frames * kSuperclockRate + denominator / 2) / denominator;
        const double gain = RecorderFadeGain(frame, frames, fadeIn);
        const double value = inverse ? std::sqrt(1.0 - gain * gain) : gain;
        char point[64];
        // Ardour keeps a gain above zero: its smallest is 1e-07.
        std::snprintf(point, sizeof point, "a%llu %.17g\n", static_cast<unsigned long long>(ticks),
                      std::max(value, 1e-7));
        events += point;
    }
    return Fill(R"(        <{element}>
          <AutomationList automation-id="{automation}" id="{id}" interpolation-style="Curved" time-domain="AudioTime" state="Off">
            <events>{events}</events>
          </AutomationList>
        </{element}>
)",
                ids, {{"element", element}, {"automation", automation}, {"events", events}});
}

struct RegionSpec {
    std::string name;
    const std::vector<uint64_t>* sources;  // one per channel
    uint64_t position = 0;
    uint64_t offset = 0;
    uint64_t length = 0;
    uint64_t layer = 0;  // layering index: higher lies above
    bool fadeIn = false;
    bool fadeOut = false;
    bool wholeFile = false;  // the source's own region, listed apart from any playlist
};

std::string RegionXml(const RegionSpec& r, uint32_t rate, uint32_t fadeFrames, Ids& ids) {
    const char* whole = r.wholeFile ? "1" : "0";
    std::string xml =
        (r.wholeFile ? "    " : "      ") + std::string("<Region name=\"") + XmlText(r.name) +
        "\" muted=\"0\" opaque=\"1\" locked=\"0\" video-locked=\"0\" automatic=\"" + whole +
        "\" whole-file=\"" + whole + "\" import=\"" + whole +
        "\" external=\"0\" sync-marked=\"0\" left-of-split=\"0\" right-of-split=\"0\" "
        "hidden=\"0\" position-locked=\"0\" valid-transients=\"0\" start=\"" +
        Timepos(r.offset, rate) + "\" length=\"" + Timepos(r.length, rate) + "@" +
        Timepos(r.position, rate) +
        "\" sync-position=\"a0\" ancestral-start=\"a0\" ancestral-length=\"a0@a0\" "
        "stretch=\"1\" shift=\"1\" layering-index=\"" +
        std::to_string(r.layer) +
        "\" tags=\"\" contents=\"0\" envelope-active=\"0\" default-fade-in=\"0\" "
        "default-fade-out=\"0\" fade-in-active=\"" +
        (r.fadeIn ? "1" : "0") + "\" fade-out-active=\"" + (r.fadeOut ? "1" : "0") +
        "\" scale-amplitude=\"1\" id=\"" + std::to_string(ids()) +
        "\" type=\"audio\" first-edit=\"nothing\"";
    for (size_t c = 0; c < r.sources->size(); ++c) {
        xml += " source-" + std::to_string(c) + "=\"" + std::to_string((*r.sources)[c]) + "\"";
    }
    for (size_t c = 0; c < r.sources->size(); ++c) {
        xml +=
            " master-source-" + std::to_string(c) + "=\"" + std::to_string((*r.sources)[c]) + "\"";
    }
    xml += " channels=\"" + std::to_string(r.sources->size()) + "\"";
    if (r.wholeFile) return xml + "/>\n";
    // A fade never reaches beyond its region, as Ardour itself keeps it.
    const uint64_t fade = std::clamp<uint64_t>(r.length, 1, fadeFrames);
    xml += ">\n        <Envelope default=\"yes\"/>\n";
    xml += FadeXml("FadeIn", "fadein", false, true, fade, rate, ids);
    xml += FadeXml("InverseFadeIn", "fadein", true, true, fade, rate, ids);
    xml += FadeXml("FadeOut", "fadeout", false, false, fade, rate, ids);
    xml += FadeXml("InverseFadeOut", "fadeout", true, false, fade, rate, ids);
    return xml + "      </Region>\n";
}

}  // namespace

// ---- Names and times ----

std::string TakeLabel(const std::string& entryName) {
    if (entryName.size() < 4) return entryName;
    std::string extension = entryName.substr(entryName.size() - 4);
    for (char& c : extension) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return extension == ".wav" ? entryName.substr(0, entryName.size() - 4) : entryName;
}

uint64_t SuperclockOf(uint64_t frames, uint32_t rate) {
    if (rate == 0) return 0;
    const uint64_t seconds = frames / rate;
    const uint64_t rest = frames % rate;  // rest * kSuperclockRate < 2^61
    // Ardour counts superclock ticks in 63 bits; a take that far out (centuries)
    // stays at its end.
    constexpr uint64_t kMaxTicks = uint64_t{1} << 62;
    if (seconds > kMaxTicks / kSuperclockRate) return kMaxTicks;
    return seconds * kSuperclockRate + (rest * kSuperclockRate + rate - 1) / rate;
}

std::string SessionNameOf(const std::string& projectName) {
    const std::string name = CleanName(projectName, "/\\:;");
    return name.empty() ? "Session" : name;
}

// ---- Planning ----

SessionPlan PlanSession(const ArdourProject& project, const std::string& folder) {
    SessionPlan plan;
    plan.folder = WithoutTrailingSlashes(folder);
    plan.name = SessionNameOf(project.name);
    plan.sessionFile = plan.folder + "/" + plan.name + ".ardour";
    plan.audioDir = plan.folder + "/interchange/" + plan.name + "/audiofiles";
    for (const ArdourTake& take : project.takes) {
        const std::string wanted = CleanName(take.name);
        std::string name = wanted;
        for (int number = 2;
             std::find(plan.copyNames.begin(), plan.copyNames.end(), name) != plan.copyNames.end();
             ++number) {
            name = NumberedName(wanted, number);
        }
        plan.copyNames.push_back(name);
        const uint64_t samples = take.frames * take.channels * (take.bits / 8u);
        plan.copyBytes += kHeaderSize + samples;
    }
    plan.xml = SessionXml(project, plan.name, plan.copyNames);
    plan.bytes = plan.copyBytes + plan.xml.size();
    return plan;
}

std::string SessionXml(const ArdourProject& project, const std::string& name,
                       const std::vector<std::string>& copyNames) {
    const uint32_t rate = project.sampleRate;
    Ids ids;
    // Sources: one per channel of each copy.
    std::string sources;
    std::vector<std::vector<uint64_t>> sourceIds(project.takes.size());
    for (size_t t = 0; t < project.takes.size(); ++t) {
        const ArdourTake& take = project.takes[t];
        for (uint16_t channel = 0; channel < take.channels; ++channel) {
            sourceIds[t].push_back(ids());
            sources += "    <Source name=\"" + XmlText(copyNames[t]) +
                       "\" take-id=\"\" type=\"audio\" flags=\"\" id=\"" +
                       std::to_string(sourceIds[t].back()) + "\" natural-position=\"" +
                       Timepos(take.timelineStart, rate) + "\" channel=\"" +
                       std::to_string(channel) + "\" origin=\"\" gain=\"1\"/>\n";
        }
    }
    // The region list: each source whole, as an import leaves it.
    std::string wholeRegions;
    for (size_t t = 0; t < project.takes.size(); ++t) {
        const ArdourTake& take = project.takes[t];
        wholeRegions += RegionXml(
            {take.label, &sourceIds[t], take.timelineStart, 0, take.frames, 0, false, false, true},
            rate, project.fadeFrames, ids);
    }
    std::string locations =
        "    <Location id=\"" + std::to_string(ids()) + "\" name=\"session\" start=\"" +
        Timepos(project.first, rate) + "\" end=\"" + Timepos(project.last, rate) +
        "\" flags=\"IsSessionRange\" locked=\"0\" timestamp=\"0\" cue=\"0\"/>\n";
    for (const ArdourMarker& marker : project.markers) {
        const std::string at = Timepos(marker.position, rate);
        locations += "    <Location id=\"" + std::to_string(ids()) + "\" name=\"" +
                     XmlText(marker.label) + "\" start=\"" + at + "\" end=\"" + at +
                     "\" flags=\"IsMark\" locked=\"0\" timestamp=\"0\" cue=\"0\"/>\n";
    }

    const uint64_t masterId = ids(), editId = ids(), takesId = ids();
    const uint64_t editList = ids(), takesList = ids();
    std::string routes = RouteXml(kMasterRoute, ids, {{"route", std::to_string(masterId)}});
    routes += RouteXml(kTrackRoute, ids,
                       {{"route", std::to_string(editId)},
                        {"name", "Edit"},
                        {"playlist", std::to_string(editList)},
                        {"order", "1"},
                        {"box", "0"},
                        {"muted", "0"}});
    routes += RouteXml(kTrackRoute, ids,
                       {{"route", std::to_string(takesId)},
                        {"name", "Takes"},
                        {"playlist", std::to_string(takesList)},
                        {"order", "2"},
                        {"box", "1"},
                        {"muted", "1"}});

    // "Edit": the events, each region named after its take and numbered per take.
    std::string editRegions;
    std::vector<size_t> piecesOfTake(project.takes.size(), 0);
    for (size_t e = 0; e < project.events.size(); ++e) {
        const ArdourEvent& event = project.events[e];
        const ArdourTake& take = project.takes[event.take];
        const std::string regionName =
            take.label + "." + std::to_string(++piecesOfTake[event.take]);
        editRegions += RegionXml({regionName, &sourceIds[event.take], event.position, event.offset,
                                  event.length, e, event.fadeIn, event.fadeOut, false},
                                 rate, project.fadeFrames, ids);
    }
    // "Takes": every take whole, layered by age.
    std::string takeRegions;
    for (size_t t = 0; t < project.takes.size(); ++t) {
        const ArdourTake& take = project.takes[t];
        takeRegions += RegionXml(
            {take.label, &sourceIds[t], take.timelineStart, 0, take.frames, t, true, true, false},
            rate, project.fadeFrames, ids);
    }
    const auto playlist = [](uint64_t id, const char* track, uint64_t routeId,
                             const std::string& regions) {
        return "    <Playlist id=\"" + std::to_string(id) + "\" name=\"" + track +
               "\" type=\"audio\" orig-track-id=\"" + std::to_string(routeId) +
               "\" pgroup-id=\"\" shared-with-ids=\"\" frozen=\"0\" combine-ops=\"0\">\n" +
               regions + "    </Playlist>\n";
    };
    const std::string playlists = playlist(editList, "Edit", editId, editRegions) +
                                  playlist(takesList, "Takes", takesId, takeRegions);
    const std::string click = Fill(kClick, ids);

    const std::string version = "proj2wav " PROJ2WAV_VERSION;
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<Session version=\"7002\" name=\"" +
           XmlText(name) + "\" sample-rate=\"" + std::to_string(rate) +
           "\" session-range-is-free=\"0\" id-counter=\"" + std::to_string(ids.Next()) +
           "\" name-counter=\"1\" event-counter=\"0\" vca-counter=\"1\">\n"
           "  <ProgramVersion created-with=\"" +
           version + "\" modified-with=\"" + version +
           "\"/>\n"
           "  <Config>\n"
           "    <Option name=\"native-file-data-format\" value=\"FormatFloat\"/>\n"
           "    <Option name=\"native-file-header-format\" value=\"WAVE\"/>\n"
           "    <Option name=\"use-region-fades\" value=\"1\"/>\n"
           "    <Option name=\"show-region-fades\" value=\"1\"/>\n"
           "  </Config>\n"
           "  <Metadata/>\n"
           "  <Sources>\n" +
           sources +
           "  </Sources>\n"
           "  <TriggerBindings/>\n"
           "  <Regions>\n" +
           wholeRegions +
           "  </Regions>\n"
           "  <Selection/>\n"
           "  <Locations>\n" +
           locations +
           "  </Locations>\n"
           "  <Bundles/>\n"
           "  <VCAManager/>\n"
           "  <Routes>\n" +
           routes +
           "  </Routes>\n"
           "  <Playlists>\n" +
           playlists +
           "  </Playlists>\n"
           "  <UnusedPlaylists/>\n"
           "  <RouteGroups/>\n" +
           click + std::string(kTempoMap) + "</Session>\n";
}

// ---- Checks ----

std::string SessionFolderRefusal(const std::string& folder, const std::string& projectDir) {
    const std::string path = WithoutTrailingSlashes(folder);
    if (path.empty()) return "No folder was given for the session.";
    const std::string quoted = "\"" + path + "\"";
    const OutputProblem problem = CheckOutputPath(projectDir, path);
    if (problem != OutputProblem::None) return OutputProblemText(problem, path);
    const kxFileInfo info = kxDiskMgr::Identify(path);
    if (!info.exists) return FolderRefusal(path);
    if (!info.directory) return quoted + " is a file: the session needs a new or empty folder.";
    std::vector<std::string> names;
    if (!kxDiskMgr::ListDirectory(path, names)) {
        return "Cannot read the folder " + quoted + ": " + std::strerror(errno) + ".";
    }
    if (!names.empty()) return quoted + " is not empty: the session needs a new or empty folder.";
    if (!kxDiskMgr::IsWritable(path)) return "Cannot write into the folder " + quoted + ".";
    return std::string();
}

std::string SessionRoomRefusal(const SessionPlan& plan, const FreeSpaceLookup& freeBytes) {
    // The folder may not exist yet: its volume is that of its nearest parent that does.
    std::string existing = plan.folder;
    for (int depth = 0; depth < 4096 && !kxDiskMgr::Identify(existing).exists; ++depth) {
        const std::string parent = OutputFolder(existing);
        if (parent == existing) break;
        existing = parent;
    }
    const int64_t available = freeBytes(existing);
    const auto bytes = static_cast<int64_t>(std::min<uint64_t>(plan.bytes, INT64_MAX / 2));
    if (HasRoom(available > 0 ? static_cast<uint64_t>(available) : 0, bytes)) return std::string();
    const std::string needs = std::string(kInsufficientSpace) + " The session \"" + plan.folder +
                              "\" needs " + formatBytes(static_cast<double>(RoomNeeded(bytes))) +
                              ", ";
    if (available < 0) return needs + "and the free space in \"" + existing + "\" is unknown.";
    return needs + "\"" + existing + "\" has " + formatBytes(static_cast<double>(available)) +
           " free.";
}

// ---- Writing ----

namespace {

// Bytes copied in one step: a megabyte of whole frames of every layout.
constexpr uint64_t kCopyBlock = 1u << 20;

// What a session run made, removed again unless the session is complete.
class MadeOnDisk {
public:
    ~MadeOnDisk() {
        if (keep_) return;
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            if (it->second) {
                kxDiskMgr::RemoveDirectory(it->first);
            } else {
                kxDiskMgr::RemoveFile(it->first);
            }
        }
    }
    void File(const std::string& path) { made_.emplace_back(path, false); }
    void Directory(const std::string& path) { made_.emplace_back(path, true); }
    void Keep() { keep_ = true; }

private:
    std::vector<std::pair<std::string, bool>> made_;  // path, is a directory
    bool keep_ = false;
};

std::string Reason(int error, const char* fallback) {
    return error != 0 ? std::strerror(error) : fallback;
}

// Copies one take; false after putting the reason into `error`. A stop leaves
// `stopped` set and returns false.
bool CopyTake(const ArdourTake& take, const std::string& copyPath, uint32_t rate, MadeOnDisk& made,
              uint64_t& done, uint64_t total, std::atomic<double>& progress,
              const std::atomic<bool>& stop, bool& stopped, std::string& error) {
    const size_t slash = take.path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : take.path.substr(0, slash);
    const std::string entry = slash == std::string::npos ? take.path : take.path.substr(slash + 1);
    kxFile source(dir.c_str(), entry.c_str());
    errno = 0;
    if (!source.Validate() || source.Channels() != take.channels ||
        source.BitsPerSample() != take.bits || source.SampleRate() != rate ||
        source.FrameCount() != take.frames || source.StartLocation() != take.timelineStart) {
        error = "\"" + take.path + "\" is no longer the take that was loaded.";
        return false;
    }
    kxFile copy(copyPath.c_str(), static_cast<int8_t>(take.channels), rate,
                static_cast<int8_t>(take.bits), take.timelineStart);
    // The take's own texts, date, time and time reference; OpenForWrite stamps the
    // moment of writing, which the take's date and time replace before the header
    // is written again at the end.
    copy.header.bext.data = source.header.bext.data;
    made.File(copyPath);
    errno = 0;
    if (!copy.OpenForWrite()) {
        error = "Cannot create \"" + copyPath + "\": " + Reason(errno, "unknown error") + ".";
        return false;
    }
    copy.header.bext.data = source.header.bext.data;
    done += kHeaderSize;

    const uint64_t frameBytes = source.BytesPerSample();
    const uint64_t block = kCopyBlock / frameBytes * frameBytes;
    const uint64_t bytes = take.frames * frameBytes;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[block]);
    for (uint64_t at = 0; at < bytes; at += block) {
        if (stop.load(std::memory_order_relaxed)) {
            stopped = true;
            return false;
        }
        const uint64_t n = std::min(block, bytes - at);
        uint64_t got = 0;
        errno = 0;
        if (!source.ReadAudioData(buffer.get(), at, n, got)) {
            error =
                "Cannot read \"" + take.path + "\": " + Reason(errno, "the file ends early") + ".";
            return false;
        }
        errno = 0;
        if (!copy.WriteData(buffer.get(), n)) {
            error = "Cannot write \"" + copyPath + "\": " + Reason(errno, "unknown error") + ".";
            return false;
        }
        done += n;
        progress.store(100.0 * static_cast<double>(done) / static_cast<double>(total),
                       std::memory_order_relaxed);
    }
    source.Close();
    errno = 0;
    if (!copy.Close()) {
        error = "Cannot write \"" + copyPath + "\": " + Reason(errno, "unknown error") + ".";
        return false;
    }
    return true;
}

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
    errno = 0;
    kxDiskFile* file = kxDiskMgr::FileOpen(path.c_str(), kxOpenMode::Create);
    bool written = file != nullptr && kxDiskMgr::FileWrite(file, text.data(), text.size());
    const int writeError = errno;
    if (file != nullptr && !kxDiskMgr::FileClose(file)) written = false;
    if (!written) {
        error = "Cannot write \"" + path +
                "\": " + Reason(writeError != 0 ? writeError : errno, "unknown error") + ".";
    }
    return written;
}

}  // namespace

SessionResult WriteSession(const ArdourProject& project, const SessionPlan& plan,
                           std::atomic<double>& progress, const std::atomic<bool>& stop) {
    SessionResult result;
    progress.store(0.0);
    MadeOnDisk made;
    const std::string interchange = plan.folder + "/interchange";
    const std::string own = interchange + "/" + plan.name;
    for (const std::string& dir :
         {plan.folder, plan.folder + "/analysis", plan.folder + "/dead", plan.folder + "/export",
          plan.folder + "/externals", interchange, own, plan.audioDir, own + "/midifiles",
          plan.folder + "/peaks", plan.folder + "/plugins"}) {
        if (dir == plan.folder && kxDiskMgr::Identify(dir).directory) continue;  // empty, checked
        errno = 0;
        if (!kxDiskMgr::MakeDirectory(dir)) {
            result.error =
                "Cannot create the folder \"" + dir + "\": " + Reason(errno, "unknown error") + ".";
            return result;
        }
        made.Directory(dir);
    }

    uint64_t done = 0;
    const uint64_t total = std::max<uint64_t>(plan.copyBytes, 1);
    for (size_t t = 0; t < project.takes.size(); ++t) {
        bool stopped = false;
        const std::string copyPath = plan.audioDir + "/" + plan.copyNames[t];
        if (!CopyTake(project.takes[t], copyPath, project.sampleRate, made, done, total, progress,
                      stop, stopped, result.error)) {
            if (stopped) result.outcome = SessionOutcome::Stopped;
            return result;
        }
        ++result.takesCopied;
    }
    result.bytesCopied = done;
    made.File(plan.sessionFile);
    if (!WriteText(plan.sessionFile, plan.xml, result.error)) return result;
    made.Keep();
    progress.store(100.0);
    result.outcome = SessionOutcome::Written;
    return result;
}

std::string SessionWrittenText(const SessionPlan& plan, const SessionResult& result) {
    return "Ardour session written: \"" + plan.sessionFile + "\"\n" +
           std::to_string(result.takesCopied) + (result.takesCopied == 1 ? " take" : " takes") +
           " copied (" + formatBytes(static_cast<double>(result.bytesCopied)) + ") into \"" +
           plan.audioDir + "\"";
}

}  // namespace app
