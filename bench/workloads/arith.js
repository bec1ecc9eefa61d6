// An arithmetic loop of 3,000,000 iterations.
function main() {
  var sum = 0;
  for (var i = 0; i < 3000000; i++) {
    sum = (sum + i * 3 - (i % 7)) % 1000003;
  }
  return sum;
}
