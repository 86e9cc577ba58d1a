#include "generator/music.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace assetgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSampleSeconds = 1.0 / kSampleRate;
constexpr double kCompressorThreshold = 0.3, kCompressorRatio = 3.0;
constexpr double kLimiterCeiling = 0.72;

double midiHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}
long rowSample(double row) {
    return std::lround(row * kSamplesPerRow);
}
long secondsToSamples(double seconds) {
    return std::lround(seconds * kSampleRate);
}

// ---- Arrangement -------------------------------------------------------------------------

// Sixteen steps a bar (two rows a step). Patterns are written as strings, one character a step.
struct Arrangement {
    const char* part;
    int progression;    // 0: Am F C G, 1: Dm Am F E, 2: Am held (the last chord)
    const char* kick;   // 'x' hit
    const char* snare;  // 'x' hit, 'g' ghost, 'r' roll building over the section
    const char* hats;   // 'x' accent, 'h' closed, 'o' open
    int hatsFromBar;
    const char* bass;  // 'r' root, 'o' octave, 'f' fifth, 'R' root held to the end of the part
    float bassCutoffFrom, bassCutoffTo;
    float padLevel, padCutoffFrom, padCutoffTo;
    int arpFromBar;  // -1: no arpeggio
    int melodyFromBar, melodyBars, melodyTranspose;
    bool softLead;
    bool crash;         // cymbal on the first downbeat
    int riserBars;      // noise sweep over the last bars
    int snareRollBars;  // snare roll over the last bars (on top of the pattern)
};

// clang-format off
const Arrangement kArrangements[] = {
    // part     prog kick                snare               hats                from bass                cut from..to   pad  from..to     arp mel bars tr  soft  crash riser roll
    {"intro",   0, "",                  "",                 "h.h.h.h.h.h.h.h.", 2, "",                  0, 0,          0.9f, 250, 2400,  2, 0, 0, 0,   false, false, 1, 0},
    {"rise",    0, "x...x...x...x...",  "",                 "h.h.h.h.h.h.h.h.", 0, "r.o.r.o.r.o.r.o.",  250, 900,     0.8f, 2000, 2600, -1, 0, 0, 0,  false, true,  0, 1},
    {"theme",   0, "x...x...x...x...",  "....x.......x...", "xhohxhohxhohxhoh", 0, "r.o.r.o.r.o.r.o.",  800, 800,     0.7f, 1800, 1800, -1, 0, 8, 0,  false, true,  0, 0},
    {"city",    0, "x...x...x...x...",  "....x..g..g.x..g", "xhhhxhhhxhhhxhhh", 0, "r.ro.r.or.ro.f.o",  500, 1400,    0.5f, 1200, 1200,  0, 0, 0, 0,  false, true,  0, 0},
    {"greet",   0, "x...x...x...x...",  "....x.......x...", "xhohxhohxhohxhoh", 0, "r.o.r.o.r.o.r.o.",  800, 800,     0.7f, 2000, 2000,  0, 0, 8, -12, true, true,  0, 0},
    {"storm",   0, "x...x...x...x...",  "....x..g..g.x..g", "xhohxhohxhohxhoh", 0, "r.ro.r.or.ro.f.o",  1000, 1800,   0.7f, 2600, 2600,  0, 4, 4, 0,  false, true,  0, 1},
    {"twist",   1, "x...........x...",  "........x.......", "h.h.h.h.h.h.h.h.", 0, "r...r...r...r.o.",  600, 600,     1.0f, 1500, 3000,  0, 0, 0, 0,  false, true,  0, 0},
    {"build",   1, "x...x...x...x...",  "r.r.r.r.r.r.r.r.", "hhhhhhhhhhhhhhhh", 0, "r.o.r.o.r.o.r.o.",  400, 1600,    0.7f, 800, 4000,   0, 0, 0, 0,  false, false, 2, 0},
    {"finale",  0, "x...x...x...x...",  "....x..g..g.x..g", "xhohxhohxhohxhoh", 0, "r.o.r.o.r.o.r.o.",  900, 900,     0.8f, 2600, 2600,  0, 0, 4, 0,  false, true,  0, 1},
    {"ending",  2, "x",                 "",                 "",                 0, "R",                 700, 700,     0.9f, 2200, 500,  -1, 8, 2, 0,  true,  true,  0, 0},
};
// clang-format on

const Arrangement* findArrangement(const std::string& part) {
    for (const auto& a : kArrangements) {
        if (part == a.part) return &a;
    }
    return nullptr;
}

struct Chord {
    int pad[4];
    int bass;  // root, low octave
    int arp[4];
};
const Chord kProgressions[3][4] = {
    {{{57, 60, 64, 71}, 33, {69, 72, 76, 79}},   // Am(add9)
     {{53, 57, 60, 64}, 29, {65, 69, 72, 76}},   // Fmaj7
     {{55, 60, 64, 67}, 36, {67, 72, 76, 79}},   // C
     {{55, 59, 62, 64}, 31, {67, 71, 74, 79}}},  // G6
    {{{53, 57, 60, 62}, 38, {62, 65, 69, 72}},   // Dm7
     {{55, 57, 60, 64}, 33, {64, 69, 72, 76}},   // Am7
     {{53, 57, 60, 64}, 29, {65, 69, 72, 77}},   // Fmaj7
     {{52, 56, 59, 64}, 28, {64, 68, 71, 76}}},  // E
    {{{57, 60, 64, 69}, 33, {69, 72, 76, 81}},   // Am, held
     {{57, 60, 64, 69}, 33, {69, 72, 76, 81}},
     {{57, 60, 64, 69}, 33, {69, 72, 76, 81}},
     {{57, 60, 64, 69}, 33, {69, 72, 76, 81}}},
};

// The melody, in sixteenth steps from its first bar: bars 0-3 the call, 4-7 the answer, 8-9
// the last long note.
struct MelodyNote {
    int step, length, note;
};
const MelodyNote kMelody[] = {
    {0, 4, 76},   {4, 3, 81},   {7, 1, 79},   {8, 4, 76},   {12, 2, 74},   {14, 2, 72},
    {16, 6, 72},  {22, 2, 69},  {24, 4, 72},  {28, 4, 74},  {32, 4, 76},   {36, 4, 79},
    {40, 2, 76},  {42, 2, 74},  {44, 4, 72},  {48, 12, 74}, {60, 4, 71},   {64, 4, 76},
    {68, 3, 81},  {71, 1, 79},  {72, 6, 81},  {78, 2, 79},  {80, 4, 77},   {84, 4, 76},
    {88, 4, 72},  {92, 4, 69},  {96, 2, 72},  {98, 2, 74},  {100, 4, 76},  {104, 4, 79},
    {108, 4, 76}, {112, 6, 74}, {118, 2, 72}, {120, 8, 71}, {128, 28, 69},
};

// ---- What to play ------------------------------------------------------------------------

struct Hit {
    long start;
    float velocity;
    int kind;  // hats: 0 closed, 1 open
};

struct Note {
    long start, length;
    double pitch, glideFrom;  // midi; glideFrom < 0: no glide
    float velocity, cutoff0, cutoff1, pan;
    bool soft;
};

struct Riser {
    long start, length;
};

struct Plan {
    std::vector<Hit> kicks, snares, hats, crashes;
    std::vector<Note> bass, pads, arps, lead;
    std::vector<Riser> risers;
    long length = 0;
};

float lerp(float a, float b, float t) {
    return a + (b - a) * t;
}

bool planSong(const Timeline& timeline, Plan& plan, std::string& message) {
    plan = Plan{};
    const long stepSamples = rowSample(2) - rowSample(0);
    plan.length = secondsToSamples(timeline.endRow * kSamplesPerRow / kSampleRate + kTailSeconds);
    for (size_t s = 0; s < timeline.sections.size(); ++s) {
        const Section& section = timeline.sections[s];
        const Arrangement* a = findArrangement(section.part);
        if (!a) {
            message = "timeline: no music for part '" + section.part + "'";
            return false;
        }
        const int stopRow =
            s + 1 < timeline.sections.size() ? timeline.sections[s + 1].row : timeline.endRow;
        const int bars = (stopRow - section.row + kRowsPerBar - 1) / kRowsPerBar;
        const auto stepStart = [&](int bar, double step) {
            return rowSample(section.row + bar * kRowsPerBar + step * 2.0);
        };
        if (a->crash) plan.crashes.push_back({stepStart(0, 0), 1.0f, 0});
        if (a->riserBars > 0) {
            const long start = rowSample(stopRow - a->riserBars * kRowsPerBar);
            plan.risers.push_back({start, rowSample(stopRow) - start});
        }
        for (int bar = 0; bar < bars; ++bar) {
            const float t0 = static_cast<float>(bar) / bars,
                        t1 = static_cast<float>(bar + 1) / bars;
            const Chord& chord = kProgressions[a->progression][bar % 4];
            const bool rollBar = bar >= bars - a->snareRollBars;
            for (int step = 0; step < 16; ++step) {
                if (section.row + bar * kRowsPerBar + step * 2 >= stopRow) break;
                const long at = stepStart(bar, step);
                const auto charAt = [](const char* p, int i) {
                    return std::strlen(p) > static_cast<size_t>(i) ? p[i] : '.';
                };
                const auto patternAt = [&](const char* p) { return charAt(p, step); };
                if (patternAt(a->kick) == 'x') plan.kicks.push_back({at, 1.0f, 0});
                const char sn = patternAt(a->snare);
                if (sn == 'x') plan.snares.push_back({at, 1.0f, 0});
                if (sn == 'g') plan.snares.push_back({at, 0.22f, 0});
                if (sn == 'r') {
                    // Quarters, then eighths, then sixteenths, louder bar by bar.
                    const int every = bar * 4 < bars       ? 8
                                      : bar * 2 < bars     ? 4
                                      : bar * 4 < 3 * bars ? 2
                                                           : 1;
                    if (step % every == 0) plan.snares.push_back({at, 0.35f + 0.6f * t1, 0});
                    if (every == 1)
                        plan.snares.push_back({at + stepSamples / 2, 0.3f + 0.5f * t1, 0});
                }
                if (rollBar && sn != 'x') {
                    plan.snares.push_back({at, 0.25f + 0.55f * step / 15.0f, 0});
                }
                const char hat = patternAt(a->hats);
                if (bar >= a->hatsFromBar && hat != '.') {
                    const float velocity = hat == 'x' ? 0.8f : hat == 'o' ? 0.6f : 0.45f;
                    plan.hats.push_back({at, velocity, hat == 'o' ? 1 : 0});
                }
                const char b = patternAt(a->bass);
                if (b != '.') {
                    Note note{};
                    note.start = at;
                    // A note lasts until the next one in the pattern (at most a beat).
                    int next = step + 1;
                    while (next < 16 && next < step + 4 && charAt(a->bass, next) == '.') ++next;
                    note.length = b == 'R' ? rowSample(3 * kRowsPerBar) - rowSample(0)
                                           : static_cast<long>((next - step) * stepSamples * 0.85);
                    note.pitch = chord.bass + (b == 'o' ? 12 : b == 'f' ? 7 : 0);
                    note.glideFrom = -1;
                    note.velocity = step % 4 == 0 ? 1.0f : 0.85f;
                    const float t = lerp(t0, t1, step / 16.0f);
                    note.cutoff0 = note.cutoff1 = lerp(a->bassCutoffFrom, a->bassCutoffTo, t);
                    plan.bass.push_back(note);
                }
                if (a->arpFromBar >= 0 && bar >= a->arpFromBar) {
                    static const int kOrder[16] = {0, 1, 2, 3, 2, 1, 0, 2, 1, 3, 2, 0, 3, 1, 2, 3};
                    Note note{};
                    note.start = at;
                    note.length = stepSamples;
                    note.pitch = chord.arp[kOrder[step]] + (step >= 8 && bar % 2 ? 12 : 0);
                    note.velocity = step % 4 == 0 ? 0.9f : 0.6f;
                    note.pan = step % 2 ? 0.4f : -0.4f;
                    note.glideFrom = -1;
                    plan.arps.push_back(note);
                }
            }
            if (a->padLevel > 0.0f) {
                for (int k = 0; k < 4; ++k) {
                    Note note{};
                    note.start = stepStart(bar, 0);
                    note.length = a->progression == 2 ? rowSample(2.5 * kRowsPerBar) - rowSample(0)
                                                      : stepStart(bar + 1, 0) - note.start;
                    note.pitch = chord.pad[k];
                    note.velocity = a->padLevel;
                    note.cutoff0 = lerp(a->padCutoffFrom, a->padCutoffTo, t0);
                    note.cutoff1 =
                        lerp(a->padCutoffFrom, a->padCutoffTo, a->progression == 2 ? 1.0f : t1);
                    note.pan = (k - 1.5f) * 0.35f;
                    note.glideFrom = -1;
                    plan.pads.push_back(note);
                }
                if (a->progression == 2) break;  // the last chord is held, not repeated
            }
        }
        if (a->melodyBars > 0) {
            const int firstStep = a->melodyFromBar * 16, lastStep = firstStep + a->melodyBars * 16;
            double previous = -1.0;
            long previousEnd = -1;
            for (const auto& m : kMelody) {
                if (m.step < firstStep || m.step >= lastStep) continue;
                Note note{};
                note.start = stepStart(0, m.step - firstStep);
                note.length = stepStart(0, m.step - firstStep + m.length) - note.start;
                note.pitch = m.note + a->melodyTranspose;
                // Notes that follow on without a gap glide from the one before.
                note.glideFrom = previousEnd == note.start ? previous : -1.0;
                note.velocity = 1.0f;
                note.soft = a->softLead;
                plan.lead.push_back(note);
                previous = note.pitch;
                previousEnd = note.start + note.length;
            }
        }
    }
    for (auto* hits : {&plan.kicks, &plan.snares, &plan.hats, &plan.crashes}) {
        std::stable_sort(hits->begin(), hits->end(),
                         [](const Hit& x, const Hit& y) { return x.start < y.start; });
    }
    return true;
}

// ---- Sound sources -----------------------------------------------------------------------

// Equal-power pan gains, position -1 (left) .. 1 (right).
struct Pan {
    double left, right;
    explicit Pan(double position)
        : left(std::cos((position + 1.0) * kPi * 0.25)),
          right(std::sin((position + 1.0) * kPi * 0.25)) {}
};

struct Stereo {
    std::vector<float> l, r;
    explicit Stereo(long n = 0) : l(n, 0.0f), r(n, 0.0f) {}
    long size() const { return static_cast<long>(l.size()); }
    void add(long i, double v, const Pan& pan) {
        if (i < 0 || i >= size()) return;
        l[i] += static_cast<float>(v * pan.left);
        r[i] += static_cast<float>(v * pan.right);
    }
    void add2(long i, double left, double right) {
        if (i < 0 || i >= size()) return;
        l[i] += static_cast<float>(left);
        r[i] += static_cast<float>(right);
    }
    void mixIn(const Stereo& other, float gain) {
        for (long i = 0; i < size(); ++i) {
            l[i] += other.l[i] * gain;
            r[i] += other.r[i] * gain;
        }
    }
};

struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed * 2654435761u + 1u) {}
    // xorshift32 (Marsaglia 2003), scaled to [-1, 1).
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state * (2.0 / 4294967296.0) - 1.0;
    }
};

// Topology-preserving state variable filter (Zavalishin, "The Art of VA Filter Design").
struct Svf {
    double ic1 = 0, ic2 = 0, a1 = 0, a2 = 0, a3 = 0, k = 1;
    void set(double cutoff, double q) {
        cutoff = std::clamp(cutoff, 20.0, kSampleRate * 0.45);
        const double g = std::tan(kPi * cutoff / kSampleRate);
        k = 1.0 / q;
        a1 = 1.0 / (1.0 + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    void tick(double v0, double& low, double& band, double& high) {
        const double v3 = v0 - ic2;
        const double v1 = a1 * ic1 + a2 * v3;
        const double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0 * v1 - ic1;
        ic2 = 2.0 * v2 - ic2;
        low = v2;
        band = v1;
        high = v0 - k * v1 - v2;
    }
    double lowpass(double v) {
        double lo, bp, hp;
        tick(v, lo, bp, hp);
        return lo;
    }
    double highpass(double v) {
        double lo, bp, hp;
        tick(v, lo, bp, hp);
        return hp;
    }
    double bandpass(double v) {
        double lo, bp, hp;
        tick(v, lo, bp, hp);
        return bp;
    }
};

// Band-limited sawtooth by PolyBLEP (Valimaki and Huovilainen 2007).
struct Saw {
    double phase = 0;
    double next(double freq) {
        const double dt = freq * kSampleSeconds;
        double v = 2.0 * phase - 1.0;
        if (phase < dt) {
            const double x = phase / dt;
            v -= x + x - x * x - 1.0;
        } else if (phase > 1.0 - dt) {
            const double x = (phase - 1.0) / dt;
            v -= x * x + x + x + 1.0;
        }
        phase += dt;
        if (phase >= 1.0) phase -= 1.0;
        return v;
    }
};

// 1 except over the last 20 ms of a voice of n samples, where it falls to 0: voices are cut
// at a fixed length and must not end on a click.
double tailFade(long i, long n) {
    const long fade = secondsToSamples(0.02);
    return i < n - fade ? 1.0 : static_cast<double>(n - i) / fade;
}

void renderKick(Stereo& out, const Hit& hit) {
    const long n = secondsToSamples(0.5);
    double phase = 0.0;
    const Pan centre(0.0);
    Noise noise(static_cast<uint32_t>(hit.start));
    for (long i = 0; i < n; ++i) {
        const double t = i * kSampleSeconds;
        const double freq = 46.0 + 130.0 * std::exp(-t / 0.028);
        phase += 2.0 * kPi * freq * kSampleSeconds;
        const double body = std::sin(phase) * std::exp(-t / 0.3);
        const double click = noise.next() * std::exp(-t / 0.0015) * 0.35;
        out.add(hit.start + i, hit.velocity * 0.5 * std::tanh(1.6 * body + click) * tailFade(i, n),
                centre);
    }
}

void renderSnare(Stereo& out, const Hit& hit) {
    const long n = secondsToSamples(0.4);
    Noise noise(static_cast<uint32_t>(hit.start) + 7u);
    Svf band, high;
    band.set(1900.0, 0.8);
    high.set(5500.0, 0.7);
    const Pan pan(0.05);
    for (long i = 0; i < n; ++i) {
        const double t = i * kSampleSeconds;
        const double tone =
            (std::sin(2.0 * kPi * 185.0 * t) * 0.55 + std::sin(2.0 * kPi * 330.0 * t) * 0.25) *
            std::exp(-t / 0.06);
        const double white = noise.next();
        const double rattle =
            (band.bandpass(white) * 1.4 + high.highpass(white) * 0.5) * std::exp(-t / 0.13);
        // Soft saturation keeps the noise's random peaks from dominating the master.
        out.add(hit.start + i,
                hit.velocity * 0.8 * std::tanh(1.5 * (tone + rattle)) * tailFade(i, n), pan);
    }
}

void renderHat(Stereo& out, const Hit& hit) {
    const bool open = hit.kind == 1;
    const long n = secondsToSamples(open ? 0.5 : 0.12);
    Noise noise(static_cast<uint32_t>(hit.start) + 13u);
    Svf high;
    high.set(open ? 6500.0 : 8000.0, 0.9);
    const Pan pan(open ? -0.3 : 0.25);
    for (long i = 0; i < n; ++i) {
        const double t = i * kSampleSeconds;
        const double env = std::exp(-t / (open ? 0.16 : 0.025)) * tailFade(i, n);
        out.add(hit.start + i, hit.velocity * 0.5 * high.highpass(noise.next()) * env, pan);
    }
}

void renderCrash(Stereo& out, const Hit& hit) {
    const long n = secondsToSamples(3.0);
    Noise left(static_cast<uint32_t>(hit.start) + 21u),
        right(static_cast<uint32_t>(hit.start) + 22u);
    Svf hl, hr;
    hl.set(4200.0, 0.6);
    hr.set(4400.0, 0.6);
    for (long i = 0; i < n; ++i) {
        const double t = i * kSampleSeconds;
        const double env = std::exp(-t / 0.9) * std::min(1.0, t / 0.002) * tailFade(i, n);
        out.add2(hit.start + i, 0.32 * hl.highpass(left.next()) * env,
                 0.32 * hr.highpass(right.next()) * env);
    }
}

void renderRiser(Stereo& out, const Riser& riser) {
    Noise noise(static_cast<uint32_t>(riser.start) + 31u);
    Svf band;
    for (long i = 0; i < riser.length; ++i) {
        const double t = static_cast<double>(i) / riser.length;
        if (i % 16 == 0) band.set(300.0 * std::pow(25.0, t), 2.5);
        const double v = band.bandpass(noise.next()) * t * t * 0.5;
        out.add(riser.start + i, v, Pan(0.6 * std::sin(t * 9.0)));
    }
}

// Amplitude envelope: linear attack, exponential decay towards `sustain`, exponential release
// after the note's length.
double envelope(long i, long length, double attack, double decay, double sustain, double release) {
    const double t = i * kSampleSeconds, hold = length * kSampleSeconds;
    auto held = [&](double time) {
        if (time < attack) return time / attack;
        return sustain + (1.0 - sustain) * std::exp(-(time - attack) / decay);
    };
    if (t < hold) return held(t);
    return held(hold) * std::exp(-(t - hold) / release);
}

void renderBass(Stereo& out, const Note& note) {
    const double release = 0.03;
    const long n = note.length + secondsToSamples(release * 6.0);
    const double freq = midiHz(note.pitch);
    Saw saw;
    double sub = 0.0;
    const Pan centre(0.0);
    Svf filter;
    for (long i = 0; i < n; ++i) {
        const double t = i * kSampleSeconds;
        if (i % 16 == 0) filter.set(note.cutoff0 * (1.0 + 3.5 * std::exp(-t / 0.08)), 1.6);
        sub += 2.0 * kPi * freq * kSampleSeconds;
        const double osc = saw.next(freq) * 0.6 + std::sin(sub) * 0.7;
        const double env = envelope(i, note.length, 0.003, 0.25, 0.75, release) * tailFade(i, n);
        out.add(note.start + i, note.velocity * 0.75 * filter.lowpass(osc) * env, centre);
    }
}

void renderPad(Stereo& out, const Note& note) {
    const double release = note.length > secondsToSamples(3.0) ? 1.6 : 0.7;
    const long n = note.length + secondsToSamples(release * 4.0);
    const double freq = midiHz(note.pitch);
    Saw saws[3];
    // Start phases spread so that the detuned saws do not begin in step.
    saws[1].phase = 0.33;
    saws[2].phase = 0.71;
    // Detuned by -9, 0 and +8.5 cents.
    const double freqs[3] = {freq * std::pow(2.0, -0.09 / 12.0), freq,
                             freq * std::pow(2.0, 0.085 / 12.0)};
    Svf left, right;
    // The slow envelope is evaluated every 16 samples and interpolated in between.
    const auto slowEnvelope = [&](long i) {
        return envelope(i, note.length, 0.22, 0.6, 0.85, release) * tailFade(i, n);
    };
    double envNow = 0.0, envStep = 0.0;
    for (long i = 0; i < n; ++i) {
        if (i % 16 == 0) {
            envNow = slowEnvelope(i);
            envStep = (slowEnvelope(std::min(i + 16, n)) - envNow) / 16.0;
            const double t = std::min(1.0, static_cast<double>(i) / note.length);
            const double cutoff = note.cutoff0 + (note.cutoff1 - note.cutoff0) * t;
            const double wobble =
                1.0 + 0.15 * std::sin(2.0 * kPi * 0.23 * (note.start + i) * kSampleSeconds);
            left.set(cutoff * wobble, 0.9);
            right.set(cutoff / wobble, 0.9);
        }
        double s[3];
        for (int k = 0; k < 3; ++k) s[k] = saws[k].next(freqs[k]);
        const double gain = note.velocity * 0.1 * envNow;
        envNow += envStep;
        const double panL = 0.5 - note.pan * 0.35, panR = 0.5 + note.pan * 0.35;
        out.add2(note.start + i, gain * panL * 2.0 * left.lowpass(s[0] + 0.6 * s[1]),
                 gain * panR * 2.0 * right.lowpass(s[2] + 0.6 * s[1]));
    }
}

void renderArp(Stereo& out, const Note& note) {
    const long n = secondsToSamples(0.35);
    const double freq = midiHz(note.pitch);
    Saw a, b;
    b.phase = 0.5;
    const Pan pan(note.pan);
    Svf filter;
    for (long i = 0; i < n; ++i) {
        const double t = i * kSampleSeconds;
        if (i % 16 == 0) filter.set(500.0 + 4500.0 * std::exp(-t / 0.05), 1.4);
        // A saw minus a half-period-shifted saw is a square; mixed with the saw it is a pulse.
        const double osc = a.next(freq) * 0.7 - b.next(freq) * 0.4;
        const double env = std::min(1.0, t / 0.002) * std::exp(-t / 0.12) * tailFade(i, n);
        out.add(note.start + i, note.velocity * 0.26 * filter.lowpass(osc) * env, pan);
    }
}

void renderLead(Stereo& out, const Note& note) {
    const double release = note.soft ? 0.12 : 0.08;
    const long n = note.length + secondsToSamples(release * 6.0);
    double pitch = note.glideFrom >= 0.0 ? note.glideFrom : note.pitch;
    Saw saws[2];
    saws[1].phase = 0.4;
    const Pan centre(0.0);
    Svf filter;
    const double glide = std::exp(-kSampleSeconds / 0.035);
    for (long i = 0; i < n; ++i) {
        const double t = i * kSampleSeconds;
        pitch = note.pitch + (pitch - note.pitch) * glide;
        // Vibrato fades in after the attack.
        const double vibrato =
            0.18 * std::min(1.0, std::max(0.0, (t - 0.18) / 0.3)) * std::sin(2.0 * kPi * 5.4 * t);
        const double freq = midiHz(pitch + vibrato);
        if (i % 16 == 0) {
            const double base = note.soft ? 900.0 : 1600.0;
            filter.set(base + (note.soft ? 1200.0 : 3200.0) * std::exp(-t / 0.2), 1.1);
        }
        const double osc = saws[0].next(freq * 1.0035) + saws[1].next(freq / 1.0035);
        const double env = envelope(i, note.length, 0.008, 0.3, 0.8, release) * tailFade(i, n);
        out.add(note.start + i, 0.19 * filter.lowpass(osc) * env, centre);
    }
}

// ---- Effects -----------------------------------------------------------------------------

// Schroeder-Moorer reverb with the comb and all-pass lengths of Freeverb (Jezar 2000): eight
// damped combs in parallel, four all-passes in series, the right channel 23 samples longer.
void reverb(const Stereo& in, Stereo& out, float wet) {
    static const int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int kAllpasses[4] = {556, 441, 341, 225};
    const double feedback = 0.86, damp = 0.3;
    for (int channel = 0; channel < 2; ++channel) {
        const int spread = channel ? 23 : 0;
        std::vector<std::vector<float>> combs, allpasses;
        std::vector<double> store(8, 0.0);
        for (int c : kCombs) combs.emplace_back(c + spread, 0.0f);
        for (int a : kAllpasses) allpasses.emplace_back(a + spread, 0.0f);
        std::vector<size_t> combAt(8, 0), allAt(4, 0);
        const std::vector<float>& src = channel ? in.r : in.l;
        std::vector<float>& dst = channel ? out.r : out.l;
        for (long i = 0; i < in.size(); ++i) {
            const double input = src[i] * 0.03;
            double sum = 0.0;
            for (int c = 0; c < 8; ++c) {
                float& cell = combs[c][combAt[c]];
                const double y = cell;
                store[c] = y * (1.0 - damp) + store[c] * damp;
                cell = static_cast<float>(input + store[c] * feedback);
                if (++combAt[c] == combs[c].size()) combAt[c] = 0;
                sum += y;
            }
            for (int a = 0; a < 4; ++a) {
                float& cell = allpasses[a][allAt[a]];
                const double buffered = cell;
                cell = static_cast<float>(sum + buffered * 0.5);
                sum = buffered - sum;
                if (++allAt[a] == allpasses[a].size()) allAt[a] = 0;
            }
            dst[i] += static_cast<float>(sum * wet);
        }
    }
}

// Ping-pong delay of a dotted eighth, darkened on every repeat.
void delay(const Stereo& in, Stereo& out, float wet) {
    const long length = rowSample(6) - rowSample(0);
    std::vector<float> left(length, 0.0f), right(length, 0.0f);
    double toneL = 0.0, toneR = 0.0;
    const double feedback = 0.42, tone = 0.35;
    long at = 0;
    for (long i = 0; i < in.size(); ++i) {
        const double outL = left[at], outR = right[at];
        const double mono = 0.5 * (in.l[i] + in.r[i]);
        toneL += (outR - toneL) * (1.0 - tone);
        toneR += (outL - toneR) * (1.0 - tone);
        left[at] = static_cast<float>(mono + toneL * feedback);
        right[at] = static_cast<float>(toneR * feedback);
        if (++at == length) at = 0;
        out.l[i] += static_cast<float>(outL * wet);
        out.r[i] += static_cast<float>(outR * wet);
    }
}

// Gain that dips after every kick, for the pumping of pads and bass.
std::vector<float> duckCurve(const std::vector<Hit>& kicks, long length, float depth) {
    std::vector<float> gain(length, 1.0f);
    const long span = secondsToSamples(0.3);
    for (const auto& kick : kicks) {
        for (long i = 0; i < span && kick.start + i < length; ++i) {
            const double t = i * kSampleSeconds;
            const double attack = std::min(1.0, t / 0.004);
            const float g = static_cast<float>(1.0 - depth * attack * std::exp(-t / 0.11));
            gain[kick.start + i] = std::min(gain[kick.start + i], g);
        }
    }
    return gain;
}

void applyGain(Stereo& bus, const std::vector<float>& gain) {
    for (long i = 0; i < bus.size(); ++i) {
        bus.l[i] *= gain[i];
        bus.r[i] *= gain[i];
    }
}

float peakOf(const Stereo& mix) {
    float peak = 0.0f;
    for (long i = 0; i < mix.size(); ++i) {
        peak = std::max(peak, std::max(std::fabs(mix.l[i]), std::fabs(mix.r[i])));
    }
    return peak;
}

void scale(Stereo& mix, float gain) {
    for (long i = 0; i < mix.size(); ++i) {
        mix.l[i] *= gain;
        mix.r[i] *= gain;
    }
}

// Offline peak limiter: the gain needed to keep every sample under `ceiling` is spread back
// over a short ramp before each peak (the whole song is at hand, so no delay line is needed)
// and recovers exponentially after it.
void limit(Stereo& mix, double ceiling) {
    const long n = mix.size();
    const long ramp = secondsToSamples(0.002);
    std::vector<float> gain(n, 1.0f);
    for (long i = 0; i < n; ++i) {
        const double x = std::max(std::fabs(mix.l[i]), std::fabs(mix.r[i]));
        if (x <= ceiling) continue;
        const double g = ceiling / x;
        for (long j = std::max(0L, i - ramp); j <= i; ++j) {
            const double toward = g + (1.0 - g) * static_cast<double>(i - j) / ramp;
            gain[j] = std::min(gain[j], static_cast<float>(toward));
        }
    }
    const double recover = 1.0 - std::exp(-kSampleSeconds / 0.06);
    double level = 1.0;
    for (long i = 0; i < n; ++i) {
        level = std::min(static_cast<double>(gain[i]), level + (1.0 - level) * recover);
        mix.l[i] = static_cast<float>(mix.l[i] * level);
        mix.r[i] = static_cast<float>(mix.r[i] * level);
    }
}

// Master: the peak brought to full scale, a feed-forward compressor on the stereo peak that
// glues the mix, a limiter that shaves the drums' transients, then a gain that puts the peak
// at -1 dBFS.
void master(Stereo& mix) {
    float peak = peakOf(mix);
    if (peak <= 0.0f) return;
    scale(mix, 1.0f / peak);
    const double attack = std::exp(-kSampleSeconds / 0.003);
    const double release = std::exp(-kSampleSeconds / 0.12);
    const double threshold = kCompressorThreshold, ratio = kCompressorRatio;
    double level = 0.0;
    for (long i = 0; i < mix.size(); ++i) {
        const double x = std::max(std::fabs(mix.l[i]), std::fabs(mix.r[i]));
        level = x > level ? x + (level - x) * attack : x + (level - x) * release;
        const double gain =
            level > threshold ? std::pow(threshold / level, 1.0 - 1.0 / ratio) : 1.0;
        mix.l[i] = static_cast<float>(mix.l[i] * gain);
        mix.r[i] = static_cast<float>(mix.r[i] * gain);
    }
    scale(mix, 1.0f / peakOf(mix));
    limit(mix, kLimiterCeiling);
    scale(mix, static_cast<float>(std::pow(10.0, -1.0 / 20.0)) / peakOf(mix));
}

}  // namespace

std::vector<std::string> knownParts() {
    std::vector<std::string> parts;
    for (const auto& a : kArrangements) parts.push_back(a.part);
    return parts;
}

std::vector<long> kickSamples(const Timeline& timeline) {
    Plan plan;
    std::string ignored;
    std::vector<long> starts;
    if (!planSong(timeline, plan, ignored)) return starts;
    for (const auto& kick : plan.kicks) starts.push_back(kick.start);
    return starts;
}

bool renderSong(const Timeline& timeline, unsigned stems, Song& song, std::string& message) {
    Plan plan;
    if (!planSong(timeline, plan, message)) return false;
    const long n = plan.length;
    Stereo drums(n), bass(n), pads(n), arps(n), lead(n), effects(n);
    if (stems & kKick)
        for (const auto& h : plan.kicks) renderKick(drums, h);
    if (stems & kSnare)
        for (const auto& h : plan.snares) renderSnare(drums, h);
    if (stems & kHats)
        for (const auto& h : plan.hats) renderHat(drums, h);
    if (stems & kEffects) {
        for (const auto& h : plan.crashes) renderCrash(effects, h);
        for (const auto& r : plan.risers) renderRiser(effects, r);
    }
    if (stems & kBass)
        for (const auto& note : plan.bass) renderBass(bass, note);
    if (stems & kPads)
        for (const auto& note : plan.pads) renderPad(pads, note);
    if (stems & kArp)
        for (const auto& note : plan.arps) renderArp(arps, note);
    if (stems & kLead)
        for (const auto& note : plan.lead) renderLead(lead, note);

    Stereo mix(n);
    if (stems != kAllStems) {
        for (const Stereo* bus : {&drums, &bass, &pads, &arps, &lead, &effects})
            mix.mixIn(*bus, 1.0f);
    } else {
        applyGain(pads, duckCurve(plan.kicks, n, 0.45f));
        applyGain(arps, duckCurve(plan.kicks, n, 0.3f));
        applyGain(bass, duckCurve(plan.kicks, n, 0.25f));
        Stereo echoes(n), space(n);
        Stereo delaySend(n), reverbSend(n);
        delaySend.mixIn(arps, 0.5f);
        delaySend.mixIn(lead, 0.6f);
        delay(delaySend, echoes, 0.6f);
        reverbSend.mixIn(pads, 0.6f);
        reverbSend.mixIn(arps, 0.5f);
        reverbSend.mixIn(lead, 0.5f);
        reverbSend.mixIn(drums, 0.12f);
        reverbSend.mixIn(effects, 0.4f);
        reverbSend.mixIn(echoes, 0.5f);
        reverb(reverbSend, space, 1.0f);
        mix.mixIn(drums, 1.0f);
        mix.mixIn(bass, 1.0f);
        mix.mixIn(pads, 1.0f);
        mix.mixIn(arps, 1.0f);
        mix.mixIn(lead, 1.0f);
        mix.mixIn(effects, 1.0f);
        mix.mixIn(echoes, 1.0f);
        mix.mixIn(space, 1.0f);
        master(mix);
    }
    song.left = std::move(mix.l);
    song.right = std::move(mix.r);
    return true;
}

bool encodeMp3(const Song& song, Bytes& mp3, std::string& message) {
    mp3.clear();
    lame_global_flags* lame = lame_init();
    if (!lame) {
        message = "lame: cannot initialise the encoder";
        return false;
    }
    lame_set_in_samplerate(lame, kSampleRate);
    lame_set_out_samplerate(lame, kSampleRate);
    lame_set_num_channels(lame, 2);
    lame_set_mode(lame, JOINT_STEREO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, 192);
    lame_set_quality(lame, 2);
    lame_set_bWriteVbrTag(lame, 1);
    lame_set_write_id3tag_automatic(lame, 0);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        message = "lame: parameters refused";
        return false;
    }
    const int chunk = 8192;
    std::vector<unsigned char> buffer(static_cast<size_t>(1.25 * chunk + 7200));
    bool ok = true;
    for (size_t at = 0; at < song.left.size() && ok; at += chunk) {
        const int count = static_cast<int>(std::min<size_t>(chunk, song.left.size() - at));
        const int written =
            lame_encode_buffer_ieee_float(lame, &song.left[at], &song.right[at], count,
                                          buffer.data(), static_cast<int>(buffer.size()));
        if (written < 0)
            ok = false;
        else
            mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + written);
    }
    if (ok) {
        const int written = lame_encode_flush(lame, buffer.data(), static_cast<int>(buffer.size()));
        if (written < 0)
            ok = false;
        else
            mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + written);
    }
    if (ok) {
        // The encoder left an empty first frame for this tag; it goes in its place.
        unsigned char tag[2880];
        const size_t size = lame_get_lametag_frame(lame, tag, sizeof tag);
        if (size == 0 || size > sizeof tag || size > mp3.size()) {
            ok = false;
        } else {
            std::memcpy(mp3.data(), tag, size);
        }
    }
    lame_close(lame);
    if (!ok) message = "lame: encoding failed";
    return ok;
}

}  // namespace assetgen
