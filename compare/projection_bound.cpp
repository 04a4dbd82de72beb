#include "projection_bound.h"

#include <cmath>
#include <random>


namespace {

constexpr uint32_t kPadded = GripVectors::kSpectrumPadded;
constexpr int kIterations = 12;
// Rounding of the stored directions and projections, generously.
constexpr float kProjectionRounding = 1e-5f;

// x's centred, unit-length spectrum in double precision; false when the fast
// form does not score it.
bool UnitSpectrum(const GripVectors& v, std::vector<double>& u) {
    const SeriesForm& form = v.spectrumForm;
    if (form.raw || form.variance == 0.0f) {
        return false;
    }
    double sum = 0.0;
    for (uint32_t i = 0; i < kComparedBins; ++i) {
        sum += v.spectrum[i];
    }
    const double mean = sum / kComparedBins;
    double norm = 0.0;
    u.assign(kPadded, 0.0);
    for (uint32_t i = 0; i < kComparedBins; ++i) {
        u[i] = v.spectrum[i] - mean;
        norm += u[i] * u[i];
    }
    norm = std::sqrt(norm);
    if (!(norm > 0.0) || !std::isfinite(norm)) {
        return false;
    }
    for (double& x : u) {
        x /= norm;
    }
    return true;
}

// u.e over the padded length (both padded with 0), in eight running sums so
// that the processor keeps several in flight.
template <typename T>
double PaddedDot(const double* u, const T* e) {
    double lanes[8] = {};
    for (uint32_t i = 0; i < kPadded; i += 8) {
        for (int k = 0; k < 8; ++k) {
            lanes[k] += u[i + k] * e[i + k];
        }
    }
    return ((lanes[0] + lanes[4]) + (lanes[1] + lanes[5])) +
           ((lanes[2] + lanes[6]) + (lanes[3] + lanes[7]));
}

// Orthonormalises the columns of q (kBasisDirections of them, each kPadded
// long, one after another) by modified Gram-Schmidt.
void Orthonormalise(std::vector<double>& q) {
    for (int j = 0; j < kBasisDirections; ++j) {
        double* qj = q.data() + static_cast<size_t>(j) * kPadded;
        for (int pass = 0; pass < 2; ++pass) {
            for (int k = 0; k < j; ++k) {
                const double* qk = q.data() + static_cast<size_t>(k) * kPadded;
                double dot = 0.0;
                for (uint32_t i = 0; i < kPadded; ++i) {
                    dot += qj[i] * qk[i];
                }
                for (uint32_t i = 0; i < kPadded; ++i) {
                    qj[i] -= dot * qk[i];
                }
            }
        }
        double norm = 0.0;
        for (uint32_t i = 0; i < kPadded; ++i) {
            norm += qj[i] * qj[i];
        }
        norm = std::sqrt(norm);
        for (uint32_t i = 0; i < kPadded; ++i) {
            qj[i] = norm > 0.0 ? qj[i] / norm : 0.0;
        }
    }
}

}  // namespace

SpectrumBasis BuildSpectrumBasis(const std::vector<const GripVectors*>& sample) {
    std::vector<std::vector<double>> units;
    std::vector<double> u;
    for (const GripVectors* v : sample) {
        if (UnitSpectrum(*v, u)) {
            units.push_back(u);
        }
    }
    SpectrumBasis basis;
    if (units.empty()) {
        return basis;
    }
    // Block power iteration on the sum of u u^T over the sample.
    std::mt19937 rng(1);
    std::normal_distribution<double> normal;
    std::vector<double> q(static_cast<size_t>(kBasisDirections) * kPadded);
    for (uint32_t i = 0; i < kComparedBins; ++i) {
        for (int j = 0; j < kBasisDirections; ++j) {
            q[static_cast<size_t>(j) * kPadded + i] = normal(rng);
        }
    }
    Orthonormalise(q);
    std::vector<double> next(q.size());
    std::vector<double> weights(kBasisDirections);
    for (int iteration = 0; iteration < kIterations; ++iteration) {
        std::fill(next.begin(), next.end(), 0.0);
        for (const std::vector<double>& x : units) {
            for (int j = 0; j < kBasisDirections; ++j) {
                weights[j] = PaddedDot(x.data(), q.data() + static_cast<size_t>(j) * kPadded);
            }
            for (int j = 0; j < kBasisDirections; ++j) {
                double* nj = next.data() + static_cast<size_t>(j) * kPadded;
                for (uint32_t i = 0; i < kComparedBins; ++i) {
                    nj[i] += weights[j] * x[i];
                }
            }
        }
        q.swap(next);
        Orthonormalise(q);
    }
    basis.directions.assign(q.begin(), q.end());
    return basis;
}

void ProjectSpectrum(const SpectrumBasis& basis, const GripVectors& v, SpectrumBounds& out) {
    SpectrumProjection& first = out.projection;
    FinerProjection& finer = out.finer;
    std::fill(std::begin(first.p), std::end(first.p), 0.0f);
    std::fill(std::begin(finer.p), std::end(finer.p), 0.0f);
    first.residual = kUnbounded;
    first.margin = kUnbounded;
    finer.residual = kUnbounded;
    std::vector<double> u;
    // A narrow band's spectra are compared over the band a pair shares,
    // which projections of the whole band cannot bound.
    if (basis.empty() || v.bandEnd < kComparedBins || !UnitSpectrum(v, u)) {
        return;
    }
    double inside = 0.0;
    for (int j = 0; j < kBasisDirections; ++j) {
        const double dot =
            PaddedDot(u.data(), basis.directions.data() + static_cast<size_t>(j) * kPadded);
        if (j < kSpectrumDirections) {
            first.p[j] = static_cast<float>(dot);
        } else {
            finer.p[j - kSpectrumDirections] = static_cast<float>(dot);
        }
        inside += dot * dot;
        if (j + 1 == kSpectrumDirections) {
            first.residual = static_cast<float>(std::sqrt(std::max(0.0, 1.0 - inside)));
        }
    }
    finer.residual = static_cast<float>(std::sqrt(std::max(0.0, 1.0 - inside)));
    // Half of the fast form's distance to the reference for a pair, so that
    // two margins cover it, and the rounding of the numbers above.
    const BoundedScore self = FastSeriesScore(v.spectrum, v.spectrumForm, v.spectrum,
                                              v.spectrumForm, kComparedBins, kPadded);
    first.margin = 0.5f * self.bound + kProjectionRounding;
}
