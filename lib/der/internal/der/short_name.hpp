#pragma once
// The codec lives in quarvel::der, so that a program linking the library may have a `der` of its own. The
// library's code inside namespace quarvel calls it der:: already; the tools, tests, benchmarks and fuzz
// targets outside it keep that short name through this alias, which is never installed.

namespace quarvel::der {}

namespace der = quarvel::der;
