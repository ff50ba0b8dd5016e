// Two-dimensional polynomials of the distortion and map exports: the terms u^i v^j of
// total degree up to the order, numbered with i outer and j inner (1, v, v^2, ..., u,
// u v, ..., u^order), evaluated a row at a time.
#pragma once

#include <vector>

namespace tvx::imagelib {

constexpr int kMaxPolynomialOrder = 10;

class Polynomial2D {
public:
    // Terms of total degree <= order (0..kMaxPolynomialOrder); coefficient k belongs to
    // term k, and a term is left out where used(k) is false or k >= count.
    template <class Used>
    Polynomial2D(const double* coefficients, int count, int order, Used used) : order_(order)
    {
        c_.assign(static_cast<size_t>((order + 1) * (order + 1)), 0.0);
        int k = 0;
        for (int i = 0; i <= order; ++i)
            for (int j = 0; j <= order - i; ++j, ++k)
                if (k < count && used(k))
                    c_[static_cast<size_t>(i * (order + 1) + j)] = coefficients[k];
    }

    static int termCount(int order)
    {
        return (order + 1) * (order + 2) / 2;
    }
    int order() const
    {
        return order_;
    }

    // The polynomial in u along a row: a[i] = sum over j of c(i, j) v^j, i = 0..order.
    void alongRow(double v, double* a) const
    {
        for (int i = 0; i <= order_; ++i) {
            double sum = 0;
            for (int j = order_ - i; j >= 0; --j)
                sum = sum * v + c_[static_cast<size_t>(i * (order_ + 1) + j)];
            a[i] = sum;
        }
    }
    // That row polynomial at u.
    double at(const double* a, double u) const
    {
        double sum = 0;
        for (int i = order_; i >= 0; --i)
            sum = sum * u + a[i];
        return sum;
    }

private:
    int order_;
    std::vector<double> c_;  // c(i, j) at i * (order + 1) + j
};

}  // namespace tvx::imagelib
