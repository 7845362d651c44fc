// Screen reader core (not yet built).
