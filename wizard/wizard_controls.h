#pragma once

// Control ids of the wizard's dialog templates.
constexpr int kIdNext = 1;
constexpr int kIdCancel = 2;
constexpr int kIdBack = 4;
constexpr int kIdAgreementText = 1000;
constexpr int kIdInfo = 1001;
constexpr int kIdAgree = 1002;
constexpr int kIdDisagree = 1003;

// Dialog template ids: without and with the agreement.
constexpr int kTemplateWizard = 100;
constexpr int kTemplateWizardWithAgreement = 101;
