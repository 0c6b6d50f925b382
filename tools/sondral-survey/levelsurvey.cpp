#include "tools/sondral-survey/levelsurvey.h"

#include "core/silencerule.h"

#include <algorithm>
#include <cmath>

namespace {

bool secondIsSilent(const SurveySecond& second, int threshold) {
    return second.heard && isSilentLevel(threshold, second.left) &&
           isSilentLevel(threshold, second.right);
}

// Nearest rank: the smallest value with at least p percent of the values at
// or below it.
int percentile(const QList<int>& sorted, int p) {
    const auto rank = qsizetype(std::ceil(p / 100.0 * double(sorted.size())));
    return sorted.at(std::clamp<qsizetype>(rank - 1, 0, sorted.size() - 1));
}

template <typename Matches>
QList<SecondSpan> spans(const QList<SurveySecond>& seconds, Matches matches) {
    QList<SecondSpan> found;
    for (int i = 0; i < seconds.size(); ++i) {
        if (!matches(seconds.at(i)))
            continue;
        if (!found.isEmpty() && found.last().first + found.last().length == i)
            ++found.last().length;
        else
            found.append({i, 1});
    }
    return found;
}

} // namespace

int LevelSurvey::heardSeconds() const {
    return int(std::count_if(m_seconds.cbegin(), m_seconds.cend(),
                             [](const SurveySecond& second) { return second.heard; }));
}

std::optional<LevelDistribution> LevelSurvey::distribution() const {
    QList<int> levels;
    for (const SurveySecond& second : m_seconds)
        if (second.heard)
            levels.append(second.louder());
    if (levels.isEmpty())
        return std::nullopt;
    std::sort(levels.begin(), levels.end());
    return LevelDistribution{levels.first(), percentile(levels, 5), percentile(levels, 50),
                             percentile(levels, 95), levels.last()};
}

std::optional<int> LevelSurvey::noiseFloor() const {
    std::optional<int> floor;
    for (const SurveySecond& second : m_seconds)
        if (second.heard && (!floor || second.louder() < *floor))
            floor = second.louder();
    return floor;
}

std::optional<SurveyProposal> LevelSurvey::proposal() const {
    const auto floor = noiseFloor();
    if (!floor)
        return std::nullopt;
    SurveyProposal proposal;
    proposal.noiseFloor = *floor;
    const int wanted = 2 * (*floor + floorMargin);
    proposal.floorTooHigh = wanted > highestSetting;
    proposal.vol = std::min(wanted, highestSetting);
    const SilentRuns runs = silentRuns(proposal.vol);
    proposal.runs = runs.runs;
    proposal.longestRun = runs.longest;
    const int margin = std::max(timeMarginMin, (proposal.longestRun + 1) / 2);
    proposal.runTooLong = proposal.longestRun >= highestSetting;
    proposal.time = std::min(proposal.longestRun + margin, highestSetting);
    return proposal;
}

SilentRuns LevelSurvey::silentRuns(int threshold) const {
    SilentRuns result;
    result.threshold = threshold;
    for (const SecondSpan& span : silentSpans(threshold)) {
        ++result.runs;
        result.seconds += span.length;
        result.longest = std::max(result.longest, span.length);
    }
    return result;
}

QList<SecondSpan> LevelSurvey::silentSpans(int threshold) const {
    return spans(m_seconds, [threshold](const SurveySecond& second) {
        return secondIsSilent(second, threshold);
    });
}

QList<SecondSpan> LevelSurvey::unheardSpans() const {
    return spans(m_seconds, [](const SurveySecond& second) { return !second.heard; });
}

std::optional<DynamicsFigures> LevelSurvey::dynamics() const {
    QList<double> spreads;
    DynamicsFigures figures;
    for (const SurveySecond& second : m_seconds) {
        if (!second.heard || !second.measured)
            continue;
        spreads.append(second.spreadDb);
        figures.steady += second.steady ? 1 : 0;
    }
    if (spreads.isEmpty())
        return std::nullopt;
    std::sort(spreads.begin(), spreads.end());
    figures.measured = int(spreads.size());
    const auto at = [&spreads](int p) {
        const auto rank = qsizetype(std::ceil(p / 100.0 * double(spreads.size())));
        return spreads.at(std::clamp<qsizetype>(rank - 1, 0, spreads.size() - 1));
    };
    figures.spreadP5 = at(5);
    figures.spreadMedian = at(50);
    return figures;
}

FlatRun LevelSurvey::flattestRun(int threshold) const {
    FlatRun best;
    FlatRun current;
    for (int i = 0; i < m_seconds.size(); ++i) {
        const SurveySecond& second = m_seconds.at(i);
        if (secondIsSilent(second, threshold))
            continue; // holds the count
        if (!second.heard || !second.measured || !second.steady) {
            current = {};
            continue;
        }
        if (current.count == 0)
            current.first = i;
        ++current.count;
        current.length = i - current.first + 1;
        if (current.count > best.count)
            best = current;
    }
    return best;
}
