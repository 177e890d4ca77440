#pragma once

// Maximal length sequence from a Galois shift register. poly holds the
// feedback polynomial including its leading term (0x89 is x^7 + x^3 + 1);
// each call returns the register's top bit and then shifts.
class MLS
{
	int poly, top, reg;

public:
	constexpr explicit MLS(int poly, int reg = 1) : poly(poly), top(highest_bit(poly) >> 1), reg(reg) {}

	constexpr bool operator()()
	{
		bool bit = reg & top;
		reg = (reg << 1) ^ (bit ? poly : 0);
		return bit;
	}

	constexpr int state() const { return reg; }

private:
	static constexpr int highest_bit(int x)
	{
		int h = 1;
		while (x >>= 1) h <<= 1;
		return h;
	}
};
