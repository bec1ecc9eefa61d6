// Run from the console with hello.js, which defines greeting():
//   build/koru -e report hello.js console.js
function report() {
  console.log(greeting("console"));
  console.log(7 / 2);
}
