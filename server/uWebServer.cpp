// Placeholder until the web server is written.
