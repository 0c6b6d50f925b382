#pragma once

#include <QList>

#include <optional>

// One second of a survey as Sondral's silence check reads it: the highest
// block peak of the last second per channel, in percent on the 60 dB scale.
// heard is false for a second in which no audio arrived (capture lost); such
// a second is left out of every figure and ends any silent run.
struct SurveySecond {
    int left = 0;
    int right = 0;
    bool heard = true;
    // What the capture's dynamics meter said of the second: measured false
    // when it had no judgement. A steady second is a hum, hiss, a tone or a
    // loop rather than programme; spreadDb is the spread of its 50 ms RMS
    // levels.
    bool measured = false;
    bool steady = false;
    double spreadDb = 0;

    int louder() const { return left > right ? left : right; }
};

// The spread of the seconds' louder-channel level; nearest-rank percentiles.
struct LevelDistribution {
    int minimum = 0;
    int p5 = 0;
    int median = 0;
    int p95 = 0;
    int maximum = 0;
};

// The runs of consecutive seconds that a threshold would count as silent
// (both channels below half of it).
struct SilentRuns {
    int threshold = 0;
    int runs = 0;
    int seconds = 0; // silent seconds in all
    int longest = 0; // the longest run, in seconds
};

// The programme's dynamics over the survey's measured seconds.
struct DynamicsFigures {
    int measured = 0;
    int steady = 0;
    double spreadP5 = 0;     // dB, nearest rank
    double spreadMedian = 0; // dB
};

// The longest count of steady seconds a Flat time would have seen, counted
// as Sondral counts it at a threshold: a loud steady second adds one, a
// silent one holds the count, any other second (programme, not measured,
// not heard) ends it.
struct FlatRun {
    int count = 0;  // steady seconds in the run
    int first = 0;  // index of its first second
    int length = 0; // seconds from its first to its last steady second
};

// A stretch of seconds, by index into the survey.
struct SecondSpan {
    int first = 0;
    int length = 0;
};

struct SurveyProposal {
    int noiseFloor = 0;
    int vol = 0;
    int time = 0;
    int runs = 0;       // silent runs at vol
    int longestRun = 0; // at vol
    // The floor is so high that no threshold up to 100 gives it the full
    // margin: the survey heard no dead air, or the chain is very noisy.
    bool floorTooHigh = false;
    // The longest silent run at vol is not below the highest time limit.
    bool runTooLong = false;
};

// What a survey measured, and the threshold and time limit it proposes.
//
// The rule:
// - The noise floor is the lowest louder-channel level of any heard second:
//   what the chain delivers when the source on air is silent. A survey
//   should therefore include a gap or a faded-down source.
// - Vol puts the floor floorMargin points (6 dB) below the half threshold,
//   and no further: Vol = 2 * (floor + floorMargin), at most 100. A lower
//   threshold would leave the noise floor too close to counting as sound; a
//   higher one would count quiet programme as silent.
// - Time is the longest silent run at that Vol plus a margin of half the
//   run, at least timeMarginMin seconds; at most 100. A source silent for
//   longer than Time, after a survey of normal programme, is dead air.
class LevelSurvey {
public:
    static constexpr int floorMargin = 10;     // points: 6 dB on the 60 dB scale
    static constexpr int timeMarginMin = 3;    // seconds
    static constexpr int highestSetting = 100; // what Sondral's editors allow

    LevelSurvey() = default;
    explicit LevelSurvey(QList<SurveySecond> seconds) : m_seconds(std::move(seconds)) {}

    void add(const SurveySecond& second) { m_seconds.append(second); }
    const QList<SurveySecond>& seconds() const { return m_seconds; }
    int heardSeconds() const;

    // Nothing without a heard second.
    std::optional<LevelDistribution> distribution() const;
    std::optional<int> noiseFloor() const;
    std::optional<SurveyProposal> proposal() const;

    SilentRuns silentRuns(int threshold) const;
    // Nothing without a measured second.
    std::optional<DynamicsFigures> dynamics() const;
    FlatRun flattestRun(int threshold) const;
    QList<SecondSpan> silentSpans(int threshold) const;
    // The stretches of seconds without audio.
    QList<SecondSpan> unheardSpans() const;

private:
    QList<SurveySecond> m_seconds;
};
