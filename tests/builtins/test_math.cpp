// Math and Number functions and the global parseInt and parseFloat.  The
// display form tells an Int (3) from a Double (3.0).
#include <string>

#include "builtins/messages.h"

namespace koru::test {
namespace {

TEST_F(InterpTest, MathRounding) {
    check_cases({
        {"var r = [Math.round(2.5), Math.round(-2.5), Math.round(-2.4), Math.round(0.49)];", "[3,-3,-2,0]"},
        {"var r = [Math.floor(-0.5), Math.ceil(-0.5), Math.trunc(-1.7), Math.ceil(1.1)];", "[-1,0,-1,2]"},
        {"var r = [Math.floor(7), Math.round(null), Math.ceil('2.5'), Math.trunc(true)];", "[7,0,NaN,NaN]"},
        {"var r = Math.floor(4294967301.5);", "5"},  // made a 32-bit integer
        {"var r = [Math.abs(-3), Math.abs(-2.5), Math.abs(3), Math.abs('x')];", "[3,2.5,3,NaN]"},
        {"var r = Math.abs(-2147483647 - 1);", "-2147483648"},
        // A stored number is copied, never changed in place.
        {"var x = -4; var y = Math.abs(x); var r = [x, y];", "[-4,4]"},
        {"var x = -4.5; var y = Math.abs(x); var r = [x, y];", "[-4.5,4.5]"},
    });
}

TEST_F(InterpTest, MathPowMinMax) {
    check_cases({
        {"var r = [Math.pow(2, 10), Math.pow(2, 31), Math.pow(-2, 31), Math.pow(3, 40)];",
         "[1024,-2147483648,-2147483648,-2147483648]"},
        {"var r = [Math.pow(2, 0.5) > 1.414, Math.pow(2.0, 2)];", "[true,4.0]"},
        {"var r = [Math.pow(-8, 0.5), Math.pow(-2, -1), Math.pow(0, 5), Math.pow(5, 0), Math.pow(0, 0)];",
         "[NaN,NaN,0,1,1]"},
        {"var r = [Math.pow(2, -1), Math.pow('2', 2)];", "[0.5,NaN]"},
        {"var r = [Math.max(1, 2.5, 2), Math.min(3, 3.0), Math.min(3.0, 3), Math.max(-1)];", "[2.5,3,3.0,-1]"},
        {"var r = [Math.max(1, 'a'), Math.min(2, 1, 0.5, 7)];", "[NaN,0.5]"},
        {"var x = Math.random(); var r = x >= 0 && x <= 1;", "true"},
    });
}

TEST_F(InterpTest, NumberParsing) {
    check_cases({
        {"var r = [Number.parseInt('  -0x1F '), Number.parseInt('12abc'), Number.parseInt('z', 36)];", "[-31,12,35]"},
        {"var r = [Number.parseInt('1', 37), Number.parseInt('abc'), Number.parseInt(''), Number.parseInt('-')];",
         "[NaN,NaN,NaN,NaN]"},
        {"var r = [Number.parseInt('0x10', 16), Number.parseInt('ff', 16), Number.parseInt('102', 2)];", "[0,255,2]"},
        {"var r = [Number.parseInt('4294967297'), Number.parseInt(2.9), Number.parseInt('\t+7\t')];", "[1,2,7]"},
        {"var r = [Number.parseInt('1', 1), Number.parseInt('1', '10'), Number.parseInt('0X1a')];", "[NaN,NaN,26]"},
        {"var r = [Number.parseFloat('1e3'), Number.parseFloat('3'), Number.parseFloat(' -2.5x'), Number.parseFloat('x')];",
         "[1000.0,3.0,-2.5,NaN]"},
        {"var r = [Number.isInteger(2.0), Number.isInteger(2.5), Number.isInteger('2'), Number.isInteger(7)];",
         "[true,false,false,true]"},
        {"var r = [Number.isInteger(2.00000000001), Number.isInteger(2.0000001)];", "[true,false]"},
        {"var r = [parseInt('42px'), parseInt('z', 36), parseInt('0x10'), parseFloat('.5')];", "[42,35,16,0.5]"},
        {"var s = ' 8 '; var r = parseInt(s) + 1;", "9"},
        {"var r = [parseInt(), Number.parseInt([1])];", "[NaN,NaN]"},
    });
}

TEST_F(InterpTest, MathAndNumberErrors) {
    check_messages({
        {"var r = Math.sqrt(4);", 2115, "Mathのメソッド名不正"},
        {"var r = Math.abs();", 2120, "引数の個数不正"},
        {"var r = Math.abs(1, 2);", 2120, "引数の個数不正"},
        {"var r = Math.random(1);", 2120, "引数の個数不正"},
        {"var r = Math.pow(2);", 2120, "引数の個数不正"},
        {"var r = Math.max();", 2120, "引数の個数不正"},
        {"var r = Number.toFixed(1);", 2125, "NUMBERのメソッド名不正"},
        {"var r = Number.parseInt();", 2130, "引数の個数不正"},
        {"var r = Number.parseInt('1', 2, 3);", 2135, "引数の個数不正"},
        {"var r = Number.isInteger();", 2130, "引数の個数不正"},
    });
}

}  // namespace
}  // namespace koru::test
