// Test support library (grows with the fixtures).
