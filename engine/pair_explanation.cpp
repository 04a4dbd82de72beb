#include "pair_explanation.h"

#include "compare_settings.h"

PairExplanation ExplainPair(const Grip& later, const Grip& earlier, float sensitivity,
                            int32_t method, bool strictCompare) {
    const Grip& a = later;
    const Grip& b = earlier;
    PairExplanation e;
    e.sensitivity = sensitivity;
    e.method = method;
    e.content = ComputeContentScores(a, b);
    e.thresholds = ThresholdsFor(sensitivity);
    e.strongSpectrum = e.content.spectrumScore >= e.thresholds.strict &&
                       e.content.envelopeScore + e.content.driftScore >= e.thresholds.pair;
    e.threeFair = e.content.spectrumScore >= e.thresholds.loose &&
                  e.content.envelopeScore >= e.thresholds.loose &&
                  e.content.driftScore >= e.thresholds.loose;
    e.tags = ComputeTagScores(a, b);

    e.strictCompare = strictCompare;
    if (!strictCompare) {
        e.tolerant = ComputeTolerantScores(a, b);
        e.contourThreshold = ContourThreshold(sensitivity);
    }
    if ((method & kCompareContent) != 0 && !strictCompare) {
        switch (TolerantWayOf(e.content, e.tolerant, sensitivity)) {
            case TolerantWay::kAsLaid:
                e.acceptedBy =
                    e.strongSpectrum ? AcceptedBy::kStrongSpectrum : AcceptedBy::kThreeFair;
                break;
            case TolerantWay::kContour:
                e.acceptedBy = AcceptedBy::kContour;
                break;
            case TolerantWay::kAligned:
                e.acceptedBy = AcceptedBy::kAligned;
                break;
            case TolerantWay::kNone:
                break;
        }
    } else if ((method & kCompareContent) != 0 && ContentAccepts(e.content, sensitivity)) {
        e.acceptedBy = e.strongSpectrum ? AcceptedBy::kStrongSpectrum : AcceptedBy::kThreeFair;
    }
    if (e.acceptedBy == AcceptedBy::kNothing && (method & kCompareTags) != 0 &&
        TagsAccept(e.tags.tagScore, sensitivity)) {
        e.acceptedBy = AcceptedBy::kTags;
    }

    // The steps of the tag comparison, traced: the crosswise comparison wins
    // when neither straight score beats it, and a file name stands in for a
    // missing title or artist when it scores higher.
    const float title = SubstringOverlap(a.title, b.title);
    const float artist = SubstringOverlap(a.artist, b.artist);
    const float crossTitle = SubstringOverlap(a.title, b.artist);
    const float crossArtist = SubstringOverlap(a.artist, b.title);
    const bool crossed = title <= crossTitle && artist <= crossArtist;
    e.swapped = crossed && (crossTitle > title || crossArtist > artist);
    const float titleBefore = crossed ? crossTitle : title;
    const float artistBefore = crossed ? crossArtist : artist;
    e.nameForTitle = e.tags.titleScore > titleBefore;
    e.nameForArtist = e.tags.artistScore > artistBefore;

    const float scores[kTagFieldCount] = {e.tags.titleScore, e.tags.artistScore, e.tags.nameScore,
                                          e.tags.albumScore};
    for (int f = 0; f < kTagFieldCount; ++f) {
        const auto field = static_cast<TagField>(f);
        const bool emptyA = TagText(a, field).empty();
        const bool emptyB = TagText(b, field).empty();
        // A missing album counts unless both lack one; the other fields
        // drop out when missing on either side.
        const bool missing = field == kAlbumField ? (emptyA && emptyB) : (emptyA || emptyB);
        e.takesPart[static_cast<size_t>(f)] = !(scores[f] == 0.0f && missing);
        e.differs[static_cast<size_t>(f)] = TagText(a, field) != TagText(b, field);
    }
    // The list's figure: in the tolerant comparison, of the shared band.
    e.contentPercent = ContentPercent(
        strictCompare ? e.content.spectrumScore : e.tolerant.spectrumScore, sensitivity);
    e.tagPercent = TagPercent(e.tags.tagScore, sensitivity);
    return e;
}
